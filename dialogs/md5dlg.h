// Range dialog of the MD5 read-back tool (size defaults to 0).
#pragma once

#include "rangedlg.h"

class MD5Dlg : public RangeDlg
{
    Q_OBJECT
public:
    explicit MD5Dlg(QWidget *parent = nullptr);
};
