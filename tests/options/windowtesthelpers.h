// Helpers shared by the options-panel and run GUI tests: message texts, debug-line capture and
// driving a checkable group box the way a user does.
#pragma once

#include "support/mainwindowaccess.h"

#include <QGroupBox>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QTest>

namespace optest {

inline QString html(const char *colour, const QString &inner)
{
    return QStringLiteral("<font color='%1' size='+2' face='新宋体'><b> %2 </b></font>")
        .arg(QLatin1String(colour), inner);
}
inline QString blue(const QString &inner)
{
    return html("#6688DD", inner);
}
inline QString red(const QString &inner)
{
    return html("#DD6622", inner);
}

// Records every debug line while alive; the worker and polling threads write too, hence the lock.
class DebugLog
{
public:
    DebugLog()
    {
        QMutexLocker lock(&mutex());
        all().clear();
        previous = qInstallMessageHandler(&DebugLog::handler);
    }
    ~DebugLog() { qInstallMessageHandler(previous); }

    static void clear()
    {
        QMutexLocker lock(&mutex());
        all().clear();
    }
    static int count(const QString &line)
    {
        QMutexLocker lock(&mutex());
        return all().count(line);
    }
    static QStringList lines()
    {
        QMutexLocker lock(&mutex());
        return all();
    }

private:
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static QStringList &all()
    {
        static QStringList lines;
        return lines;
    }
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &msg)
    {
        if (type == QtDebugMsg) {
            QMutexLocker lock(&mutex());
            all().append(msg);
        } else {
            fprintf(stderr, "%s\n", qPrintable(msg));
        }
    }
    QtMessageHandler previous;
};

// Space on a focused checkable group box toggles it and emits clicked(bool), as a mouse click on
// its title check box does; setChecked() would not emit clicked.
inline void clickGroupBox(QGroupBox *box)
{
    QTest::keyClick(box, Qt::Key_Space);
}

} // namespace optest
