// Range dialog of the SWD read-out (size defaults to 0x1000).
#pragma once

#include "rangedlg.h"

class ReadOutDlg : public RangeDlg
{
    Q_OBJECT
public:
    explicit ReadOutDlg(QWidget *parent = nullptr);
};
