// Screen figures for the start-up diagnostics; nothing else depends on them.
#include "screenmetrics.h"

#include <QtGlobal> // defines Q_OS_WIN, which the next line tests

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QGuiApplication>
#include <QScreen>
#endif

ScreenMetrics readScreenMetrics()
{
    ScreenMetrics m;
#ifdef Q_OS_WIN
    m.width = GetSystemMetrics(SM_CXSCREEN);
    m.height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    m.dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
#else
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->size() * screen->devicePixelRatio();
        m.width = size.width();
        m.height = size.height();
        m.dpiX = screen->logicalDotsPerInchX();
    }
#endif
    return m;
}
