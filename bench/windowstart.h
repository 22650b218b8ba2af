// The start-up steps of the program's main(), shared by the benchmarks that measure the real
// window, so that what they time and weigh is what a user starts.
#pragma once

#include "download.h"
#include "localepolicy.h"
#include "screenmetrics.h"

#include <QApplication>
#include <QDebug>
#include <QLocale>
#include <QTranslator>

namespace benchwindow {

// Everything main() does between constructing the application and constructing the window.
inline void startLikeMain(QApplication &app, QTranslator &translator)
{
    const ScreenMetrics screen = readScreenMetrics();
    qDebug() << "resolution" << screen.width << screen.height;
    qDebug() << "dpi" << screen.dpiX;
    registerDownloadMetaType();
    const QString locale = QLocale::system().name();
    qDebug() << locale;
    if (needsEnglishTranslation(locale)) {
        translator.load(englishTranslationPath());
        app.installTranslator(&translator);
    }
}

} // namespace benchwindow
