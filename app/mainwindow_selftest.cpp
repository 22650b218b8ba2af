// The project menu's self-test and chip-ID fields: over SWD only, kept with the job, and what
// the run reads after programming.
#include "mainwindow.h"

#include "selftestdlg.h"
#include "swdstate.h"

#include <QAction>
#include <QMenu>

void MainWindow::setupSelfTest()
{
    selfTestAction = new QAction(tr("自检与芯片ID…"), this);
    selfTestAction->setObjectName(QStringLiteral("selfTestAction"));
    selfTestAction->setStatusTip(
        tr("烧录复位后经RTT读取板上自检的结果，读出芯片唯一ID记入生产记录"));
    selfTestAction->setToolTip(tr("只有经CMSIS-DAP（SWD）烧录有自检和芯片ID"));
    selfTestAction->setEnabled(false);
    connect(selfTestAction, &QAction::triggered, this, &MainWindow::selfTestSlot);
    projectMenu->addAction(selfTestAction);
}

void MainWindow::selfTestSlot()
{
    if (!swdPath())
        return;
    SelfTestDlg dlg(this);
    dlg.setFields(swd->checks);
    if (dlg.exec() == QDialog::Accepted)
        swd->checks = dlg.fields();
}
