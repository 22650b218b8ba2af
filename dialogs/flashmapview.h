// Paints a job's flash map from the core's layout; hovering a band shows what it holds.
#pragma once

#include "flashmaplayout.h"
#include "flashplan.h"

#include <QWidget>

class FlashMapView : public QWidget
{
    Q_OBJECT
public:
    explicit FlashMapView(const FlashPlan &plan, QWidget *parent = nullptr);

    const FlashPlan &plan() const { return mapPlan; }
    // Tooltip text for a point of the picture: the topmost band under it, else empty.
    QString toolTipAt(const QPointF &pos) const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    FlashPlan mapPlan;
    FlashMapLayout layout;
};
