// Test access to a MainWindow's members and private slots (the window declares this class its
// friend), so tests can inspect the job record and drive the window as the user would.
#pragma once

#include "mainwindow.h"
#include "offlinedlg.h"
#include "ui_mainwindow.h"
#include "usbconnectthread.h"

#include <QButtonGroup>

class MainWindowTestAccess
{
public:
    static Download *download(MainWindow &w) { return w.download; }
    static Ui::MainWindow *ui(MainWindow &w) { return w.ui; }
    static QThread &workerThread(MainWindow &w) { return w.workerThread; }
    static Worker *worker(MainWindow &w) { return w.worker; }
    static USBConnectThread *usbThread(MainWindow &w) { return w.usbThread; }
    static OfflineDlg *offDlg(MainWindow &w) { return w.offDlg; }

    static QButtonGroup *eraseGroup(MainWindow &w) { return w.eraseGroup; }
    static QButtonGroup *readProtectGroup(MainWindow &w) { return w.readProtectGroup; }
    static QButtonGroup *wdtGroup(MainWindow &w) { return w.wdtGroup; }
    static QRegExpValidator *snNumValidator(MainWindow &w) { return w.snNumValidator; }
    static QRegExpValidator *snAddrValidator(MainWindow &w) { return w.snAddrValidator; }
    static QRegExpValidator *snStepsValidator(MainWindow &w) { return w.snStepsValidator; }

    static QAction *offlineConfigAction(MainWindow &w) { return w.offlineConfigAction; }
    static QAction *offlineEraseAction(MainWindow &w) { return w.offlineEraseAction; }
    static QAction *helpVerifyAction(MainWindow &w) { return w.helpVerifyAction; }
    static QAction *helpMD5Action(MainWindow &w) { return w.helpMD5Action; }
    static QAction *helpCRC32Action(MainWindow &w) { return w.helpCRC32Action; }
    static QAction *helpCRC32FileAction(MainWindow &w) { return w.helpCRC32FileAction; }
    static QMenu *projectMenu(MainWindow &w) { return w.projectMenu; }
    static QAction *recordAction(MainWindow &w) { return w.recordAction; }
    static QAction *openJobAction(MainWindow &w) { return w.openJobAction; }
    static QAction *saveJobAction(MainWindow &w) { return w.saveJobAction; }
    static QAction *autoAction(MainWindow &w) { return w.autoAction; }
    static QTimer *lineTimer(MainWindow &w) { return w.lineTimer; }
    static QLabel *tallyLabel(MainWindow &w) { return w.tallyLabel; }
    static QCheckBox *ledgerCheckBox(MainWindow &w) { return w.ledgerCheckBox; }
    static QAction *helpFlashMapAction(MainWindow &w) { return w.helpFlashMapAction; }

    // Private slots and helpers, called as their signals or callers would.
    static void clickConnect(MainWindow &w) { w.on_connectPushButton_clicked(); }
    static void selectChip(MainWindow &w, int index)
    {
        w.on_chipComboBox_currentIndexChanged(index);
    }
    static void clickStart(MainWindow &w) { w.on_startPushButton_clicked(); }
    static void clickFileAdd(MainWindow &w) { w.on_fileAddPushButton_clicked(); }
    static void clickFileRemove(MainWindow &w) { w.on_fileRemovePushButton_clicked(); }
    static void stopPolling(MainWindow &w) { w.stopPolling(); }
    static void setLockSetEnabled(MainWindow &w, bool enabled) { w.setLockSetEnabled(enabled); }
};
