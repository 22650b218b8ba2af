// Start-up diagnostics, meta types and translation, in the order the program has always used.
#include "startup.h"

#include "download.h"
#include "job/localepolicy.h"
#include "screenmetrics.h"

#include <QApplication>
#include <QDebug>
#include <QLocale>
#include <QTranslator>

void prepareApplication(QApplication &app, QTranslator &translator)
{
    const ScreenMetrics screen = readScreenMetrics();
    qDebug() << "resolution" << screen.width << screen.height;
    qDebug() << "dpi" << screen.dpiX;

    registerDownloadMetaType();

    const QString locale = QLocale::system().name();
    qDebug() << locale;
    if (needsEnglishTranslation(locale)) {
        // A missing file leaves the Chinese texts; the result is deliberately not checked.
        translator.load(englishTranslationPath());
        app.installTranslator(&translator);
    }
}
