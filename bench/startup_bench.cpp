// Time from starting the program to its main window shown (offscreen): every repetition starts a
// fresh process that runs main()'s start-up and reports when the window's first expose has been
// handled, i.e. painted. CLOCK_MONOTONIC is shared by the processes, so the figure includes
// loading the libraries.
#include "apptitle.h"
#include "childrun.h"
#include "mainwindow.h"
#include "startup.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QTranslator>
#include <QWindow>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void reportShownAndQuit()
{
    std::printf("shown %.9f\n", benchchild::monotonicSeconds());
    std::fflush(stdout);
    QCoreApplication::quit();
}

// Waits for the first expose and reports once the event loop has handled it.
class ExposeWatch : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!reported && event->type() == QEvent::Expose
            && static_cast<QWindow *>(watched)->isExposed()) {
            reported = true;
            QTimer::singleShot(0, reportShownAndQuit);
        }
        return false;
    }
    bool reported = false;
};

int childMain(int argc, char **argv)
{
    alarm(60); // a start-up that never shows the window ends the child instead of the benchmark
    QApplication app(argc, argv);
    QTranslator translator;
    prepareApplication(app, translator);
    MainWindow window;
    window.setWindowTitle(applicationTitle());
    window.show();
    ExposeWatch watch;
    window.windowHandle()->installEventFilter(&watch);
    if (window.windowHandle()->isExposed()) {
        watch.reported = true;
        QTimer::singleShot(0, reportShownAndQuit);
    }
    return app.exec();
}

void StartToWindowShown(benchmark::State &state)
{
    for (auto _ : state) {
        std::string out;
        double started = 0;
        double shown = 0;
        if (!benchchild::run({"--child"}, out, &started)
            || std::sscanf(out.c_str(), "shown %lf", &shown) != 1) {
            state.SkipWithError("the window was not shown");
            break;
        }
        state.SetIterationTime(shown - started);
    }
}

BENCHMARK(StartToWindowShown)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    return benchchild::benchmarkMain(argc, argv, 1, childMain);
}
