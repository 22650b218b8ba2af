// The window title, built once here so that start-up and the tests agree on it.
#pragma once

#include <QString>

inline QString applicationTitle()
{
    return QString("Quorvel V%1.%2%3f").arg(1).arg(9).arg(7);
}
