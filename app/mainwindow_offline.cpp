// The offline menu: choosing the offline options that travel with the next job, and erasing the
// offline job stored in the probe.
#include "mainwindow.h"

#include "download.h"
#include "job/messages.h"
#include "offlinedlg.h"

#include <QDebug>

void MainWindow::offlineOptionsActionSlot()
{
    qDebug() << "offlineOptionsActionSlot";
    offDlg->exec();
    Download &d = *download;
    if (offDlg->isOK == 1) {
        takeOfflineOptions();
        qDebug() << "offDlg->isOK";
    } else {
        qDebug() << "offDlg->iscancel";
    }
    qDebug() << "offline_flag" << d.offline_flag;
    qDebug() << "offlineMaxProgramCount_flag" << d.offlineMaxProgramCount_flag;
    qDebug() << "offlineAutoProgramTime_flag" << d.offlineAutoProgramTime_flag;
    qDebug() << "offlineMaxProgramCount" << d.offlineMaxProgramCount;
    qDebug() << "offlineAutoProgramTime" << d.offlineAutoProgramTime;
    qDebug() << "offlineMachine_flag" << d.offlineMachine_flag;
    qDebug() << "offlineForceProgram_flag" << d.offlineForceProgram_flag;

    checkOfflineOptions();
}

void MainWindow::takeOfflineOptions()
{
    Download &d = *download;
    d.offline_flag = offDlg->offline_flag;
    d.offlineMaxProgramCount_flag = offDlg->offlineMaxProgramCount_flag;
    d.offlineAutoProgramTime_flag = offDlg->offlineAutoProgramTime_flag;
    d.offlineMaxProgramCount = offDlg->offlineMaxProgramCount;
    d.offlineAutoProgramTime = offDlg->offlineAutoProgramTime;
    d.offlineMachine_flag = offDlg->offlineMachine_flag;
    d.offlineForceProgram_flag = offDlg->offlineForceProgram_flag;
}

void MainWindow::checkOfflineOptions()
{
    Download &d = *download;
    // The probe reads a count of 0xFFFFFFFF as "no limit".
    if (d.offlineMaxProgramCount == 0)
        d.offlineMaxProgramCount = 0xFFFFFFFF;
    // QC16/18 can only leave read protection through a full erase.
    if (d.chip && d.chip->model == 3 && d.offlineForceProgram_flag == 1 && d.eraseMode != 0)
        showAbout(tr("<font color='#6688DD' size='+2' face='新宋体'><b> "
                     "如果芯片处于读保护状态，请选择全擦除。 </b></font>"));
}

void MainWindow::offlineEraseActionSlot()
{
    qDebug() << "offlineEraseActionSlot";
    showAbout(job::offlineEraseMessage(download->offlineErase()));
}
