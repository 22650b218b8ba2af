// The single top-level window: owns the job record, the worker and polling threads, the option
// panels, the file list and the menus of the help and offline tools.
#pragma once

#include "recordreport.h"

#include <QHash>
#include <QMainWindow>
#include <QThread>

#include <memory>

class Download;
namespace job {
struct JobSetup;
}
class HandleBar;
class OfflineDlg;
class QAction;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QMenu;
class QRegExpValidator;
class QTimer;
struct SwdResult;
struct SwdState;
class USBConnectThread;
class Worker;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow();

    // Re-reads listed files changed on disk before Start: 0 go on, 1 Start must not go on.
    int reloadChangedFiles();

signals:
    void downloadOperate(Download &download);

public slots:
    void handleResults(int code);
    void handleProgressBarSet(int value);
    void usbConnectTickSlot();
    void offlineOptionsActionSlot();
    void offlineEraseActionSlot();
    void openJobActionSlot();
    void saveJobActionSlot();
    void helpVerifyActionSlot();
    void helpMD5ActionSlot();
    void helpCRC32ActionSlot();
    void helpCRC32FileActionSlot();
    void recordActionSlot();
    void helpFlashMapActionSlot();

private slots:
    void on_connectPushButton_clicked();
    void on_chipComboBox_currentIndexChanged(int index);
    void on_chipComboBox_currentIndexChanged(const QString &arg1);
    void on_eraseRadioButton_clicked();
    void on_programCheckBox_clicked(bool checked);
    void on_verifyCheckBox_clicked(bool checked);
    void on_resetAndRunCheckBox_clicked(bool checked);
    void on_readProtectRadioButton_clicked();
    void on_snGroupBox_clicked(bool checked);
    void on_snNumLineEdit_textChanged(const QString &arg);
    void on_snAddrLineEdit_textChanged(const QString &arg);
    void on_snAddrLineEdit_editingFinished();
    void on_snStepsLineEdit_textChanged(const QString &arg1);
    void on_optionsGroupBox_clicked(bool checked);
    void on_wdtEnableRadioButton_clicked();
    void on_wdtDisableRadioButton_clicked();
    void on_fileAddPushButton_clicked();
    void on_fileRemovePushButton_clicked();
    void on_startPushButton_clicked();

private:
    void showAbout(const QString &html); // about box titled "信息", parent this window
    void stopPolling(); // stop(), quit(), wait for the polling thread if it runs
    void setLockSetEnabled(bool enabled); // the controls a run locks, in their fixed order
    // Constructor steps, in the order they run.
    void setupOptionTexts();
    void setupRollingCodePanel();
    void setupWatchdogPanel();
    void setupFilePanel();
    void setupMenus();
    void connectThreads();
    void removeFileAt(int slot); // drops one slot, moving the later ones up
    // Lists a file behind the last one (a free slot is the caller's), warning and dropping it
    // again when it does not load or overlaps the previous one.
    void listFile(const QString &path, uint32_t address);
    void resetOptionsPanel(int model); // a new chip: every option back to its default, no files
    void restoreAfterRun(); // polling back on, lock set enabled
    void takeOfflineOptions(); // the offline dialog's confirmed values into the record
    void checkOfflineOptions(); // "no limit" as the probe reads it, the erase reminder
    // Job files (mainwindow_job.cpp).
    void setupJobMenu(); // open and save, ahead of the project menu's record action
    job::JobSetup currentJob() const;
    void applyJob(const job::JobSetup &setup); // through the panels' own slots, files last
    // Production record (mainwindow_record.cpp).
    void setupRecord(); // the project menu, the status-bar figures, the ledger check box
    QString recordLocation() const; // the window setting, else the default location
    bool openRecord();
    // false: the run cannot be recorded and must not start. A chip with an ID that holds a used
    // serial of the series gets that serial again.
    bool beginRecordedRun(const QString &chipUid = QString());
    // Completes the run's row; false when the result could not be written.
    bool finishRecordedRun(int code, const QString &html,
                           const SectorCounts &sectors = SectorCounts(),
                           const RunCheck &check = RunCheck());
    void showTally();
    // Hands-free line (mainwindow_line.cpp).
    void setupLine();
    void stopLine(); // the action off; a run in progress still ends normally
    void linePoll();
    void swdLinePoll();
    void lineStart(); // a board answered: Start as the user would
    bool lineRunEnded(const QString &message);
    void showLineState();
    // The SWD path (mainwindow_path.cpp, mainwindow_swdrun.cpp).
    void setupPath();
    bool swdPath() const;
    void makeSwdWidgets();
    void choosePath(bool toSwd);
    void showDevice(); // the job's device beside the options and in the title
    void chooseDeviceSlot();
    void connectSwd(); // opens a CMSIS-DAP probe, or closes the one open
    void swdProbeTick(); // between runs: notices a CMSIS-DAP probe pulled out
    void swdProbeLost(); // back to 未连接, the line off, the status bar says why
    void startSwd();
    void ensureSwdWorker();
    void describeSwdRun(RunRecord &run) const;
    void startSwdProgramming();
    void swdUidFinished(const SwdResult &result);
    void swdFinished(const SwdResult &result);
    void readOutSlot();
    void readOutFinished(const SwdResult &result);
    // The self-test and chip-ID fields of the SWD path (mainwindow_selftest.cpp).
    void setupSelfTest();
    void selfTestSlot();

    QThread workerThread;
    Ui::MainWindow *ui;
    Download *download;
    QButtonGroup *eraseGroup;
    QButtonGroup *readProtectGroup;
    QButtonGroup *wdtGroup;
    QRegExpValidator *snNumValidator;
    QRegExpValidator *snAddrValidator;
    QRegExpValidator *snStepsValidator;
    QAction *offlineConfigAction;
    OfflineDlg *offDlg;
    QAction *offlineEraseAction;
    QAction *helpVerifyAction;
    QAction *helpMD5Action;
    QAction *helpCRC32Action;
    QAction *helpCRC32FileAction;
    QAction *helpFlashMapAction;
    Worker *worker;
    USBConnectThread *usbThread;
    int codeSixRestarts = 0; // automatic restarts after code 6 since the chain began

    QMenu *projectMenu;
    QAction *recordAction;
    QAction *openJobAction;
    QAction *saveJobAction;
    QLabel *tallyLabel;
    QCheckBox *ledgerCheckBox;
    RecordDb *record = nullptr;
    qint64 recordedRunId = -1; // the run in progress, -1 when none is recorded
    QByteArray recordedDigest; // job digest of that run
    QByteArray tallyDigest; // the job the status bar counts
    bool ledgerSerialTaken = false; // ledgerSerial is this run's rolling-code value
    quint32 ledgerSerial = 0;
    QHash<QByteArray, Tally> sessionTally; // per job digest, since the window opened

    enum class LineState { Off, Waiting, Running, Removal };
    QAction *autoAction = nullptr;
    QTimer *lineTimer = nullptr;
    LineState lineState = LineState::Off;
    QString lineResult; // the last automatically started run's result, plain text

    // A failed SWD run is recorded as the command line's exit status: this plus its SWD code.
    static constexpr int swdRecordBase = 40;
    std::unique_ptr<SwdState> swd;
    QMenu *pathMenu = nullptr;
    QAction *viaVendorAction = nullptr;
    QAction *viaSwdAction = nullptr;
    QAction *deviceAction = nullptr;
    QAction *readAction = nullptr;
    QAction *selfTestAction = nullptr;
    QString vendorTitle; // the window title before the SWD path changed it

    friend class MainWindowTestAccess; // lets tests reach the job record without a public getter
};
