// Peak memory of the program with ten 4 MiB BIN files listed through the window's own add path
// (file dialog, address dialog), in a fresh process started like main(), beside the peak of the
// empty window. Figures are VmHWM of /proc/self/status, in MiB.
#include "apptitle.h"
#include "childrun.h"
#include "mainwindow.h"
#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QWindow>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

namespace {

constexpr int fileCount = 10;
constexpr qint64 fileBytes = 4 * 1024 * 1024;

QString fileName(int i)
{
    return QStringLiteral("image%1.bin").arg(i);
}

long long vmHwmKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, 6, "VmHWM:") == 0)
            return std::atoll(line.c_str() + 6);
    }
    return -1;
}

// Answers the two modal dialogs of one add: picks the file, types the address, confirms. Any
// other modal widget (a warning) means the add went wrong; it is noted and closed.
class AddAnswers : public QObject
{
public:
    AddAnswers()
    {
        connect(&timer, &QTimer::timeout, this, &AddAnswers::poll);
        timer.start(5);
    }
    void expect(const QString &path, const QString &address)
    {
        file = path;
        addressText = address;
        step = 0;
    }
    bool answered() const { return step == 2 && !unexpected; }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == handled)
            return;
        handled = modal;
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        auto *address = modal->findChild<QLineEdit *>(QStringLiteral("addressLineEdit"));
        auto *ok = modal->findChild<QPushButton *>(QStringLiteral("okPushButton"));
        if (dialog && step == 0) {
            ++step;
            dialog->selectFile(file);
            if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                edit->setText(file);
            QMetaObject::invokeMethod(dialog, "accept");
        } else if (address && ok && step == 1) {
            ++step;
            address->setText(addressText);
            ok->click();
        } else {
            unexpected = true;
            modal->close();
        }
    }

    QTimer timer;
    QPointer<QWidget> handled;
    QString file;
    QString addressText;
    int step = 2;
    bool unexpected = false;
};

bool waitExposed(QWidget &window)
{
    for (int i = 0; i < 5000 && !(window.windowHandle() && window.windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return window.windowHandle() && window.windowHandle()->isExposed();
}

// Every file listed with its name and a 4 MiB size, in order.
bool allListed(MainWindow &window)
{
    auto *table = window.findChild<QTableWidget *>(QStringLiteral("fileTableWidget"));
    for (int i = 0; table && i < fileCount; ++i) {
        QTableWidgetItem *name = table->item(i, 0);
        QTableWidgetItem *size = table->item(i, 2);
        if (!name || name->text() != fileName(i) || !size || size->text() != "0x400000")
            return false;
    }
    return table != nullptr;
}

int childMain(int argc, char **argv)
{
    alarm(120); // a dialog nobody answers ends the child instead of the benchmark
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QApplication app(argc, argv);
    // ./Setting.ini of the add path goes to the scratch folder.
    if (!QDir::setCurrent(folder))
        return 1;
    QTranslator translator;
    prepareApplication(app, translator);
    MainWindow window;
    window.setWindowTitle(applicationTitle());
    window.show();
    if (!waitExposed(window))
        return 1;
    const long long emptyKiB = vmHwmKiB();

    auto *add = window.findChild<QPushButton *>(QStringLiteral("fileAddPushButton"));
    AddAnswers answers;
    for (int i = 0; add && i < fileCount; ++i) {
        // Back to back in flash, so that no file overlaps the one before it.
        answers.expect(QDir(folder).filePath(fileName(i)),
                       QString::number(quint64(i) * fileBytes, 16));
        add->click();
        if (!answers.answered())
            return 1;
    }
    if (!add || !allListed(window))
        return 1;
    std::printf("memory %lld %lld\n", emptyKiB, vmHwmKiB());
    return 0;
}

bool writeFiles(const QString &folder)
{
    std::mt19937 random(5);
    QByteArray bytes(int(fileBytes), Qt::Uninitialized);
    for (int i = 0; i < fileCount; ++i) {
        for (char &b : bytes)
            b = char(random());
        QFile file(QDir(folder).filePath(fileName(i)));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != fileBytes)
            return false;
    }
    return true;
}

void PeakMemoryTenFiles(benchmark::State &state)
{
    QTemporaryDir folder;
    if (!folder.isValid() || !writeFiles(folder.path())) {
        state.SkipWithError("cannot write the program files");
        return;
    }
    long long emptyKiB = 0;
    long long peakKiB = 0;
    for (auto _ : state) {
        std::string out;
        if (!benchchild::run({"--child", folder.path().toStdString()}, out)
            || std::sscanf(out.c_str(), "memory %lld %lld", &emptyKiB, &peakKiB) != 2) {
            state.SkipWithError("the ten files could not be listed");
            return;
        }
    }
    state.counters["peak_mib"] = double(peakKiB) / 1024;
    state.counters["empty_window_mib"] = double(emptyKiB) / 1024;
}

BENCHMARK(PeakMemoryTenFiles)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    return benchchild::benchmarkMain(argc, argv, 2, childMain);
}
