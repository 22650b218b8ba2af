// Texts of the CRC-32 range dialog, translated in its own context.
#include "crc32dlg.h"

CRC32Dlg::CRC32Dlg(QWidget *parent)
    : RangeDlg({tr("配置计算CRC-32的首地址和大小"), tr("  地址(HEX) "), tr("  大小(HEX) "),
                tr("确认"), tr("取消")},
               QStringLiteral("8000"), parent)
{ }
