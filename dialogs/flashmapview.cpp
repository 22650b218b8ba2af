// Painting of the flash map with QPainter and its tooltips.
#include "flashmapview.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace {

const QString problemColour = QStringLiteral("#D01818");

void drawBox(QPainter &p, const MapShape &s)
{
    p.setBrush(s.fill.isEmpty() ? QBrush(Qt::NoBrush) : QBrush(QColor(s.fill)));
    if (s.stroke.isEmpty())
        p.setPen(Qt::NoPen);
    else
        p.setPen(QPen(QColor(s.stroke), s.stroke == problemColour ? 2 : 1));
    p.drawRect(s.rect);
}

void drawText(QPainter &p, const QRectF &rect, const QString &text, const QString &colour)
{
    p.setPen(QColor(colour.isEmpty() ? QStringLiteral("#000000") : colour));
    p.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

} // namespace

FlashMapView::FlashMapView(const FlashPlan &plan, QWidget *parent)
    : QWidget(parent)
    , mapPlan(plan)
    , layout(layoutFlashMap(plan))
{
    setMouseTracking(true);
    setMinimumSize(layout.size.toSize()); // not sizeHint(): no virtual call while constructing
}

QSize FlashMapView::sizeHint() const
{
    return layout.size.toSize();
}

QString FlashMapView::toolTipAt(const QPointF &pos) const
{
    for (int i = layout.shapes.size() - 1; i >= 0; --i) {
        const MapShape &s = layout.shapes[i];
        const bool band = s.kind == MapShape::File || s.kind == MapShape::RollingCode
            || s.kind == MapShape::Erase;
        if (band && s.region >= 0 && s.rect.contains(pos))
            return flashRegionDescription(mapPlan.regions[s.region]);
    }
    return QString();
}

bool FlashMapView::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto *help = static_cast<QHelpEvent *>(event);
    const QString text = toolTipAt(help->pos());
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, this);
    }
    return true;
}

void FlashMapView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    for (const MapShape &s : layout.shapes) {
        switch (s.kind) {
        case MapShape::Text:
        case MapShape::ProblemText:
            drawText(p, s.rect, s.text, s.stroke);
            break;
        case MapShape::File:
            drawBox(p, s);
            p.save();
            p.setClipRect(s.rect);
            drawText(p, s.rect.adjusted(4, 0, 0, 0), s.text, QStringLiteral("#FFFFFF"));
            p.restore();
            break;
        case MapShape::ProblemMark: {
            QColor fill(s.fill);
            fill.setAlpha(90);
            p.setBrush(fill);
            p.setPen(QPen(QColor(s.stroke), 2));
            p.drawRect(s.rect);
            break;
        }
        case MapShape::Outside:
            drawBox(p, s);
            drawText(p, s.rect.adjusted(4, 0, 0, 0), s.text, problemColour);
            break;
        default:
            drawBox(p, s);
            break;
        }
    }
}
