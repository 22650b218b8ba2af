// Texts of the MD5 range dialog, translated in its own context.
#include "md5dlg.h"

MD5Dlg::MD5Dlg(QWidget *parent)
    : RangeDlg({tr("配置计算MD5的首地址和大小"), tr("  地址(HEX) "), tr("  大小(HEX) "), tr("确认"),
                tr("取消")},
               QStringLiteral("0"), parent)
{ }
