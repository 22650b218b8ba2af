// The flash map dialog of the help menu: the job as it will land on the chip, before Start.
#pragma once

#include <QDialog>

class FlashMapView;
struct FlashPlan;

class FlashMapDlg : public QDialog
{
    Q_OBJECT
public:
    explicit FlashMapDlg(const FlashPlan &plan, QWidget *parent = nullptr);

    FlashMapView *view;
};
