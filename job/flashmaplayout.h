// Where every part of the flash map picture goes: one layout that the window's dialog paints and
// the SVG writer prints, so both show the same picture.
#pragma once

#include "flashplan.h"

#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QVector>

struct MapShape
{
    enum Kind {
        Text, // text only, vertically centred in rect
        Memory, // the memory's own extent
        Outside, // addresses past the memory's end that the job still reaches
        Erase,
        File,
        RollingCode,
        ProblemMark, // translucent red over the offending bytes of a problem
        ProblemText,
    };
    Kind kind = Text;
    QRectF rect;
    QString text; // drawn left-aligned in rect (inside the band for File)
    QString fill; // "#RRGGBB", empty for none
    QString stroke; // "#RRGGBB", empty for none; the text colour of Text and ProblemText
    int region = -1; // index into FlashPlan::regions, for tooltips
};

struct FlashMapLayout
{
    QSizeF size;
    QVector<MapShape> shapes; // in painting order
};

FlashMapLayout layoutFlashMap(const FlashPlan &plan, qreal width = 900);
