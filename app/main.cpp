// Program entry: diagnostics, translation, meta types, then the main window (or, with --station,
// the station) and its event loop.
#include "apptitle.h"
#include "mainwindow.h"
#include "startup.h"
#include "station/stationjob.h"
#include "station/stationwindow.h"

#include <QApplication>
#include <QTranslator>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTranslator translator; // outlives the window, whose texts it translates
    const QString title = applicationTitle();
    prepareApplication(app, translator);

    StationJob job;
    QString error;
    switch (stationFromArguments(app.arguments(), job, error)) {
    case StationArguments::Bad:
        std::fprintf(stderr, "Quorvel: %s\n", error.toLocal8Bit().constData());
        return 64;
    case StationArguments::Station: {
        StationWindow station(job);
        station.resize(1280, 900);
        station.show();
        return app.exec();
    }
    case StationArguments::NotAsked:
        break;
    }
    MainWindow window;
    window.setWindowTitle(title);
    window.show();
    return app.exec();
}
