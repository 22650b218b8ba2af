// Program entry: diagnostics, translation, meta types, then the main window and its event loop.
#include "apptitle.h"
#include "download.h"
#include "localepolicy.h"
#include "mainwindow.h"
#include "screenmetrics.h"

#include <QApplication>
#include <QDebug>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    const ScreenMetrics screen = readScreenMetrics();
    qDebug() << "resolution" << screen.width << screen.height;
    qDebug() << "dpi" << screen.dpiX;

    QTranslator translator;
    const QString title = applicationTitle();
    registerDownloadMetaType();

    const QString locale = QLocale::system().name();
    qDebug() << locale;
    if (needsEnglishTranslation(locale)) {
        // A missing file leaves the Chinese texts; the result is deliberately not checked.
        translator.load(englishTranslationPath());
        app.installTranslator(&translator);
    }

    MainWindow window;
    window.setWindowTitle(title);
    window.show();
    return app.exec();
}
