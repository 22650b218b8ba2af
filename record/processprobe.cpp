// Reads a process's start time from /proc to tell a live recorder from a dead one.
#include "processprobe.h"

#include <QFile>
#include <QList>

qint64 processStartTicks(qint64 pid)
{
    if (pid <= 0)
        return -1;
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.read(4096);
    // The command name may hold spaces and parentheses: fields are counted after its last ')'.
    const int close = stat.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // Field 22 of the line is the start time; after the name the count starts at field 3.
    constexpr int startTimeIndex = 22 - 3;
    if (fields.size() <= startTimeIndex)
        return -1;
    bool ok = false;
    const qint64 ticks = fields.at(startTimeIndex).toLongLong(&ok);
    return ok ? ticks : -1;
}

bool processAlive(qint64 pid, qint64 startTicks)
{
    const qint64 now = processStartTicks(pid);
    return now >= 0 && now == startTicks;
}
