// Range dialog of the CRC-32 read-back tool (size defaults to 0x8000).
#pragma once

#include "rangedlg.h"

class CRC32Dlg : public RangeDlg
{
    Q_OBJECT
public:
    explicit CRC32Dlg(QWidget *parent = nullptr);
};
