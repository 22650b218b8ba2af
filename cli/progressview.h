// The progress bar on a terminal: erase, then one bar per image, redrawn in place on stderr.
// Nothing of it is written when stderr is not a terminal.
#pragma once

#include <QString>
#include <QStringList>

namespace cli {

class ProgressView
{
public:
    // `stages` in the order the run reports them; each begins with a progress value of 0.
    explicit ProgressView(const QStringList &stages);
    static bool onTerminal();

    void setValue(int value);
    void finish(); // ends the line of the last stage drawn

private:
    void draw(int value);

    QStringList stages;
    int stage = -1;
    int last = -1;
    bool lastWasFull = true;
    bool enabled;
};

} // namespace cli
