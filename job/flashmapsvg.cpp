// The flash map as a standalone SVG document, written from the same layout the window paints;
// QXmlStreamWriter escapes file names, so any name gives well-formed XML.
#include "flashmaplayout.h"

#include <QXmlStreamWriter>

namespace {

QString number(qreal v)
{
    return QString::number(v, 'f', 1);
}

void writeRect(QXmlStreamWriter &xml, const MapShape &s)
{
    xml.writeStartElement("rect");
    xml.writeAttribute("x", number(s.rect.x()));
    xml.writeAttribute("y", number(s.rect.y()));
    xml.writeAttribute("width", number(s.rect.width()));
    xml.writeAttribute("height", number(s.rect.height()));
    xml.writeAttribute("fill", s.fill.isEmpty() ? QStringLiteral("none") : s.fill);
    if (s.kind == MapShape::ProblemMark)
        xml.writeAttribute("fill-opacity", "0.35");
    if (!s.stroke.isEmpty()) {
        xml.writeAttribute("stroke", s.stroke);
        const bool problem =
            s.kind == MapShape::ProblemMark || s.stroke == QLatin1String("#D01818");
        xml.writeAttribute("stroke-width", problem ? "2" : "1");
    }
}

void writeText(QXmlStreamWriter &xml, const MapShape &s, const QString &colour, qreal inset)
{
    xml.writeStartElement("text");
    xml.writeAttribute("x", number(s.rect.x() + inset));
    xml.writeAttribute("y", number(s.rect.center().y() + 5));
    xml.writeAttribute("fill", colour);
    xml.writeCharacters(s.text);
    xml.writeEndElement();
}

void writeShape(QXmlStreamWriter &xml, const FlashPlan &plan, const MapShape &s)
{
    const bool textOnly = s.kind == MapShape::Text || s.kind == MapShape::ProblemText;
    if (textOnly) {
        writeText(xml, s, s.stroke.isEmpty() ? QStringLiteral("#000000") : s.stroke, 0);
        return;
    }
    const bool band = s.kind == MapShape::File || s.kind == MapShape::RollingCode;
    if (band || s.kind == MapShape::Erase)
        xml.writeStartElement("g");
    writeRect(xml, s);
    if (s.region >= 0) { // a viewer shows the title as the shape's tooltip
        xml.writeTextElement("title", flashRegionDescription(plan.regions[s.region]));
    }
    xml.writeEndElement(); // rect
    if (band || s.kind == MapShape::Erase) {
        if (s.kind == MapShape::File)
            writeText(xml, s, "#FFFFFF", 4);
        xml.writeEndElement(); // g
    }
    if (s.kind == MapShape::Outside)
        writeText(xml, s, "#D01818", 4);
}

} // namespace

QByteArray flashMapSvg(const FlashPlan &plan)
{
    const FlashMapLayout layout = layoutFlashMap(plan);
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement("svg");
    xml.writeDefaultNamespace("http://www.w3.org/2000/svg");
    xml.writeAttribute("width", number(layout.size.width()));
    xml.writeAttribute("height", number(layout.size.height()));
    xml.writeAttribute("font-family", "sans-serif");
    xml.writeAttribute("font-size", "13");
    xml.writeStartElement("rect");
    xml.writeAttribute("width", "100%");
    xml.writeAttribute("height", "100%");
    xml.writeAttribute("fill", "#FFFFFF");
    xml.writeEndElement();
    for (const MapShape &s : layout.shapes)
        writeShape(xml, plan, s);
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}
