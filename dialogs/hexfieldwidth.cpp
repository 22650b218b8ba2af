// Sizes hexadecimal entry fields from their font, so that no digit of a full value scrolls away.
#include "hexfieldwidth.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

namespace {
constexpr int lineEditInnerMargin = 2; // QLineEdit's own gap between frame and text, each side
constexpr int cursorWidth = 1;
} // namespace

void fitHexDigits(QLineEdit *edit, int digits, int minimum)
{
    const QFontMetrics metrics(edit->font());
    int widest = 0;
    for (const QChar c : QStringLiteral("0123456789ABCDEFabcdef"))
        widest = std::max(widest, metrics.horizontalAdvance(c));
    const QMargins margins = edit->textMargins();
    const int text =
        widest * digits + cursorWidth + 2 * lineEditInnerMargin + margins.left() + margins.right();

    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    option.features = QStyleOptionFrame::None;
    const QSize outer = edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option,
                                                        QSize(text, metrics.height()), edit);
    edit->setFixedWidth(std::max(minimum, outer.width()));
}
