// Shows the window on the SWD path, or the device picker over it, for the README's screenshots:
// `swdwindow_shots window|picker [en]` under Xvfb, captured with `import -window root`.
#include "mainwindow.h"

#include "apptitle.h"
#include "devicepickerdlg.h"

#include <QAction>
#include <QApplication>
#include <QTranslator>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTranslator translator;
    if (argc > 2 && QString(argv[2]) == "en" && translator.load(QUORVEL_QM))
        app.installTranslator(&translator);
    MainWindow w;
    w.setWindowTitle(applicationTitle());
    w.findChild<QAction *>("viaSwdAction")->trigger();
    w.move(0, 0);
    w.show();
    DevicePickerDlg picker(&w);
    if (argc > 1 && QString(argv[1]) == "picker") {
        picker.select("QB48");
        picker.move(40, 60);
        picker.show();
    }
    return app.exec();
}
