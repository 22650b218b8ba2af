// Terminal progress bar.
#include "progressview.h"

#include <cstdio>
#include <unistd.h>

namespace cli {

namespace {
constexpr int barWidth = 30;
}

ProgressView::ProgressView(const QStringList &stages)
    : stages(stages)
    , enabled(onTerminal())
{ }

bool ProgressView::onTerminal()
{
    return isatty(fileno(stderr)) == 1;
}

// The run reports 0 when an erase or an image begins and 100 when it ends; the values between
// are the erase's waiting attempts or the image's percentage.
void ProgressView::setValue(int value)
{
    if (!enabled)
        return;
    if (value == 0 && lastWasFull) {
        if (stage >= 0)
            std::fputc('\n', stderr);
        ++stage;
    }
    lastWasFull = value >= 100;
    if (stage < 0 || stage >= stages.size() || value == last)
        return;
    last = value;
    draw(value > 100 ? 100 : value);
}

void ProgressView::draw(int value)
{
    const int filled = value * barWidth / 100;
    const QByteArray bar = QByteArray(filled, '#') + QByteArray(barWidth - filled, '.');
    std::fprintf(stderr, "\r[%s] %3d%%  %s", bar.constData(), value,
                 stages.at(stage).toLocal8Bit().constData());
    std::fflush(stderr);
}

void ProgressView::finish()
{
    if (enabled && stage >= 0)
        std::fputc('\n', stderr);
    stage = -1;
}

} // namespace cli
