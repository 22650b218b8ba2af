// A probe's tile in the station.
#include "stationtile.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

QLabel *label(QWidget *parent, const char *name, int pointSize, bool bold)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    QFont f = l->font();
    f.setPointSize(pointSize);
    f.setBold(bold);
    l->setFont(f);
    l->setAlignment(Qt::AlignCenter);
    l->setWordWrap(true);
    return l;
}

} // namespace

StationTile::StationTile(QWidget *parent)
    : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setMinimumSize(260, 220);
    auto *layout = new QVBoxLayout(this);
    nameLabel = label(this, "nameLabel", 16, true);
    transportLabel = label(this, "transportLabel", 10, false);
    stateLabel = label(this, "stateLabel", 34, true);
    phaseLabel = label(this, "phaseLabel", 12, false);
    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setRange(0, 100);
    progressBar->setTextVisible(true);
    resultLabel = label(this, "resultLabel", 13, true);
    countsLabel = label(this, "countsLabel", 13, false);
    layout->addWidget(nameLabel);
    layout->addWidget(transportLabel);
    layout->addWidget(stateLabel);
    layout->addWidget(phaseLabel);
    layout->addWidget(progressBar);
    layout->addWidget(resultLabel);
    layout->addWidget(countsLabel);
}

QColor StationTile::colourOf(StationProbe::State state)
{
    switch (state) {
    case StationProbe::State::Idle:
        return QColor(0x54, 0x6e, 0x7a);
    case StationProbe::State::Waiting:
        return QColor(0x15, 0x65, 0xc0);
    case StationProbe::State::Programming:
        return QColor(0xef, 0x8f, 0x00);
    case StationProbe::State::Passed:
        return QColor(0x1b, 0x8a, 0x2e);
    case StationProbe::State::Failed:
        return QColor(0xc6, 0x28, 0x28);
    }
    return QColor(Qt::gray);
}

void StationTile::display(const StationProbe &p)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, colourOf(p.state));
    palette.setColor(QPalette::WindowText, Qt::white);
    setPalette(palette);
    nameLabel->setText(p.name);
    transportLabel->setText(p.transport);
    stateLabel->setText(StationModel::stateText(p.state));
    QString phase = p.phase;
    if (!p.present)
        phase = QCoreApplication::translate("Station", "烧录器已拔出");
    else if (!p.inRun && p.boards == 0 && p.lastResult.isEmpty())
        phase = QCoreApplication::translate("Station", "开始后加入");
    phaseLabel->setText(phase);
    progressBar->setValue(p.state == StationProbe::State::Programming ? p.percent : 0);
    progressBar->setVisible(p.state == StationProbe::State::Programming);
    QString result = p.lastResult;
    if (!p.serialWritten.isEmpty())
        result += QStringLiteral("  ") + p.serialWritten;
    resultLabel->setText(result);
    const int yield = p.yieldPercent();
    countsLabel->setText(
        QCoreApplication::translate("Station", "已烧%1块  良率%2")
            .arg(p.boards)
            .arg(yield < 0 ? QStringLiteral("-") : QStringLiteral("%1%").arg(yield)));
}
