// Edits the offline (stand-alone) programming options that travel with the next job. Keeps the
// last confirmed values apart from the widgets, so that cancel can bring the widgets back.
#pragma once

#include <QDialog>
#include <cstdint>

class QCheckBox;
class QHBoxLayout;
class QIntValidator;
class QLineEdit;
class QPushButton;
class QRegExpValidator;
class QVBoxLayout;

class OfflineDlg : public QDialog
{
    Q_OBJECT
public:
    explicit OfflineDlg(QWidget *parent = nullptr);

    int isOK = 0; // 1 after confirm, 0 after cancel

    // Last confirmed values, named like the job record's fields.
    int offline_flag = 0;
    int offlineMaxProgramCount_flag = 0;
    int offlineAutoProgramTime_flag = 0;
    int offlineMachine_flag = 0;
    int offlineForceProgram_flag = 0;
    uint32_t offlineMaxProgramCount = 0;
    uint32_t offlineAutoProgramTime = 500;

    QCheckBox *OfflineCB;
    QCheckBox *maxProgramCountCB;
    QCheckBox *autoProgramCB;
    QLineEdit *maxProgramCountLineEdit;
    QLineEdit *autoProgramTimeLineEdit;
    QCheckBox *machineCB;
    QCheckBox *forceProgramCB;
    QPushButton *okPushButton;
    QPushButton *cancelPushButton;
    QHBoxLayout *offlineLayout;
    QHBoxLayout *maxProgramCountLayout;
    QHBoxLayout *autoProgramLayout;
    QHBoxLayout *machineLayout;
    QHBoxLayout *forceProgramLayout;
    QHBoxLayout *buttonLayout;
    QVBoxLayout *mainLayout;
    QRegExpValidator *maxProgramCountValidator;
    QIntValidator *autoProgramTimeValidator;

public slots:
    void slotClicked();
    void on_OfflineCB_clicked(bool checked);
    void on_maxProgramCountCB_clicked(bool checked);
    void on_autoProgramCB_clicked(bool checked);
    void on_machineCB_clicked(bool checked);
    void on_forceProgramCB_clicked(bool checked);
    // Takes these values as if confirmed (a job opened from a file) and shows them. A count of 0
    // is no limit, an interval of 0 no automatic start; without `offline` the rest is ignored.
    void takeConfirmed(bool offline, uint32_t count, uint32_t interval, bool machine, bool force);
    // Escape closes without a button: treated as cancel so the widgets match the stored values.
    void reject() override;

private:
    void confirm(uint32_t count, uint32_t interval);
    void restoreWidgets();
    void setSubOptions(bool enabled, const QString &countText, const QString &intervalText);
};
