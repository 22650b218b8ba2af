// Texts of the read-out range dialog, translated in its own context.
#include "readoutdlg.h"

ReadOutDlg::ReadOutDlg(QWidget *parent)
    : RangeDlg(
        {tr("读出的首地址和长度"), tr("  地址(HEX) "), tr("  长度(HEX) "), tr("确认"), tr("取消")},
        QStringLiteral("1000"), parent)
{ }
