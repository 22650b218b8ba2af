// Start-up diagnostics, meta types and translation, in the order the program has always used.
#include "startup.h"

#include "download.h"
#include "job/localepolicy.h"
#include "screenmetrics.h"

#include <QApplication>
#include <QDebug>
#include <QLibraryInfo>
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
    } else {
        // Qt's own dialogs and buttons speak English unless its catalogue is loaded; the window's
        // texts are Simplified Chinese on every Chinese locale, so its dialogs are too.
        auto *qtTranslator = new QTranslator(&app);
        if (qtTranslator->load(QStringLiteral("qt_zh_CN"),
                               QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
            app.installTranslator(qtTranslator);
    }
}
