// The primary screen's size and horizontal dpi for the two start-up debug lines: Win32 calls on
// Windows, the same figures from QScreen elsewhere.
#pragma once

struct ScreenMetrics
{
    int width = 0;
    int height = 0;
    double dpiX = 0.0;
};

ScreenMetrics readScreenMetrics(); // needs a constructed QApplication
