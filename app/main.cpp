// Program entry: diagnostics, translation, meta types, then the main window and its event loop.
#include "apptitle.h"
#include "mainwindow.h"
#include "startup.h"

#include <QApplication>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTranslator translator; // outlives the window, whose texts it translates
    const QString title = applicationTitle();
    prepareApplication(app, translator);

    MainWindow window;
    window.setWindowTitle(title);
    window.show();
    return app.exec();
}
