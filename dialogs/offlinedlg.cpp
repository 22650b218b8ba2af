// The offline-programming options dialog: widget rules, confirm with its interval check, and
// cancel restoring the widgets from the last confirmed values.
#include "offlinedlg.h"

#include <QCheckBox>
#include <QDebug>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegExpValidator>
#include <QVBoxLayout>

namespace {

const QString blankText = QStringLiteral(" ");
const QString countDefault = QStringLiteral("0");
const QString intervalDefault = QStringLiteral("500");
constexpr uint32_t minimumInterval = 300;

QCheckBox *makeCheckBox(const QString &name, const QString &text, QWidget *parent)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(name);
    return box;
}

QHBoxLayout *makeRow(std::initializer_list<QWidget *> widgets)
{
    auto *row = new QHBoxLayout;
    for (QWidget *w : widgets)
        row->addWidget(w);
    return row;
}

void setEdit(QLineEdit *edit, bool enabled, const QString &text)
{
    edit->setEnabled(enabled);
    edit->setText(text);
}

} // namespace

OfflineDlg::OfflineDlg(QWidget *parent)
    : QDialog(parent)
{
    qDebug() << "dlg";
    setWindowTitle(tr("脱机烧录配置"));
    setWindowFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    OfflineCB = makeCheckBox(QStringLiteral("OfflineCB"), tr("打开脱机烧写功能"), this);
    maxProgramCountCB =
        makeCheckBox(QStringLiteral("maxProgramCountCB"), tr("烧写次数(十进制)"), this);
    autoProgramCB = makeCheckBox(QStringLiteral("autoProgramCB"), tr("自动烧写时间(毫秒)"), this);
    maxProgramCountLineEdit = new QLineEdit(this);
    maxProgramCountLineEdit->setObjectName(QStringLiteral("maxProgramCountLineEdit"));
    maxProgramCountLineEdit->setFixedWidth(72);
    autoProgramTimeLineEdit = new QLineEdit(this);
    autoProgramTimeLineEdit->setObjectName(QStringLiteral("autoProgramTimeLineEdit"));
    autoProgramTimeLineEdit->setFixedWidth(57);
    machineCB = makeCheckBox(QStringLiteral("machineCB"), tr("机台烧录"), this);
    forceProgramCB = makeCheckBox(QStringLiteral("forceProgramCB"), tr("强制烧写脱机文件"), this);
    okPushButton = new QPushButton(tr("确认"), this);
    okPushButton->setObjectName(QStringLiteral("okPushButton"));
    cancelPushButton = new QPushButton(tr("取消"), this);
    cancelPushButton->setObjectName(QStringLiteral("cancelPushButton"));

    offlineLayout = makeRow({OfflineCB});
    maxProgramCountLayout = makeRow({maxProgramCountCB, maxProgramCountLineEdit});
    autoProgramLayout = makeRow({autoProgramCB, autoProgramTimeLineEdit});
    machineLayout = makeRow({machineCB});
    forceProgramLayout = makeRow({forceProgramCB});
    buttonLayout = makeRow({okPushButton, cancelPushButton});
    mainLayout = new QVBoxLayout(this);
    for (QHBoxLayout *row : {offlineLayout, maxProgramCountLayout, autoProgramLayout, machineLayout,
                             forceProgramLayout, buttonLayout})
        mainLayout->addLayout(row);

    maxProgramCountValidator = new QRegExpValidator(QRegExp(QStringLiteral("[0-9]{0,8}")), this);
    maxProgramCountLineEdit->setValidator(maxProgramCountValidator);
    autoProgramTimeValidator = new QIntValidator(0, 3000, this);
    autoProgramTimeLineEdit->setValidator(autoProgramTimeValidator);

    setSubOptions(false, QString(), QString()); // rows 2 to 5 wait for the offline box

    // Bound explicitly; the dialog never calls connectSlotsByName, so each slot runs once a click.
    connect(okPushButton, &QPushButton::clicked, this, &OfflineDlg::slotClicked);
    connect(cancelPushButton, &QPushButton::clicked, this, &OfflineDlg::slotClicked);
    connect(OfflineCB, &QCheckBox::clicked, this, &OfflineDlg::on_OfflineCB_clicked);
    connect(maxProgramCountCB, &QCheckBox::clicked, this,
            &OfflineDlg::on_maxProgramCountCB_clicked);
    connect(autoProgramCB, &QCheckBox::clicked, this, &OfflineDlg::on_autoProgramCB_clicked);
    connect(machineCB, &QCheckBox::clicked, this, &OfflineDlg::on_machineCB_clicked);
    connect(forceProgramCB, &QCheckBox::clicked, this, &OfflineDlg::on_forceProgramCB_clicked);
}

void OfflineDlg::slotClicked()
{
    const uint32_t count = maxProgramCountLineEdit->text().toUInt(nullptr, 10);
    const uint32_t interval = autoProgramTimeLineEdit->text().toUInt(nullptr, 10);
    if (sender() != okPushButton) {
        restoreWidgets();
        isOK = 0;
        accept();
        return;
    }
    // The interval edit is read even with its box unchecked; the box slots keep "500" in it then.
    if (interval < minimumInterval && OfflineCB->isChecked()) {
        QMessageBox::information(this, tr("警告"),
                                 QStringLiteral("自动烧写间隔必须在300-3000毫秒之间"));
        autoProgramTimeLineEdit->setText(intervalDefault);
        offlineAutoProgramTime = 500;
        return;
    }
    confirm(count, interval);
    accept();
}

void OfflineDlg::reject()
{
    restoreWidgets();
    isOK = 0;
    QDialog::reject();
}

void OfflineDlg::confirm(uint32_t count, uint32_t interval)
{
    isOK = 1;
    offline_flag = OfflineCB->isChecked() ? 1 : 0;
    const bool countOn = maxProgramCountCB->isChecked();
    offlineMaxProgramCount_flag = countOn ? 1 : 0;
    offlineMaxProgramCount = countOn ? count : 0;
    const bool intervalOn = autoProgramCB->isChecked();
    offlineAutoProgramTime_flag = intervalOn ? 1 : 0;
    offlineAutoProgramTime = intervalOn ? interval : 500;
    offlineMachine_flag = machineCB->isChecked() ? 1 : 0;
    offlineForceProgram_flag = forceProgramCB->isChecked() ? 1 : 0;
}

void OfflineDlg::takeConfirmed(bool offline, uint32_t count, uint32_t interval, bool machine,
                               bool force)
{
    offline_flag = offline ? 1 : 0;
    offlineMaxProgramCount_flag = offline && count ? 1 : 0;
    offlineMaxProgramCount = offlineMaxProgramCount_flag ? count : 0;
    offlineAutoProgramTime_flag = offline && interval ? 1 : 0;
    offlineAutoProgramTime = offlineAutoProgramTime_flag ? interval : 500;
    offlineMachine_flag = offline && machine ? 1 : 0;
    offlineForceProgram_flag = offline && force ? 1 : 0;
    restoreWidgets();
}

void OfflineDlg::restoreWidgets()
{
    if (offline_flag != 1) {
        OfflineCB->setChecked(false);
        setSubOptions(false, blankText, blankText);
        return;
    }
    OfflineCB->setChecked(true);
    setSubOptions(true, countDefault, intervalDefault);
    if (offlineMaxProgramCount_flag == 1) {
        maxProgramCountCB->setChecked(true);
        setEdit(maxProgramCountLineEdit, true, QString::number(offlineMaxProgramCount));
    }
    if (offlineAutoProgramTime_flag == 1) {
        autoProgramCB->setChecked(true);
        setEdit(autoProgramTimeLineEdit, true, QString::number(offlineAutoProgramTime));
    }
    machineCB->setChecked(offlineMachine_flag == 1);
    forceProgramCB->setChecked(offlineForceProgram_flag == 1);
}

// Rows 2 to 5 as a switch of the offline box leaves them: boxes unchecked, edits disabled.
void OfflineDlg::setSubOptions(bool enabled, const QString &countText, const QString &intervalText)
{
    for (QCheckBox *box : {maxProgramCountCB, autoProgramCB, machineCB, forceProgramCB}) {
        box->setEnabled(enabled);
        box->setChecked(false);
    }
    setEdit(maxProgramCountLineEdit, false, countText);
    setEdit(autoProgramTimeLineEdit, false, intervalText);
}

void OfflineDlg::on_OfflineCB_clicked(bool checked)
{
    qDebug() << " on_OfflineCB_clicked " << checked;
    if (checked)
        setSubOptions(true, countDefault, intervalDefault);
    else
        setSubOptions(false, blankText, blankText);
}

void OfflineDlg::on_maxProgramCountCB_clicked(bool checked)
{
    qDebug() << " on_maxProgramCountCB_clicked " << checked;
    setEdit(maxProgramCountLineEdit, checked, countDefault);
}

void OfflineDlg::on_autoProgramCB_clicked(bool checked)
{
    qDebug() << " on_autoProgramCB_clicked " << checked;
    setEdit(autoProgramTimeLineEdit, checked, intervalDefault);
}

// The two plain options change no widget; their lines report the stored flag, not the click.
void OfflineDlg::on_machineCB_clicked(bool)
{
    qDebug() << " on_machineCB_clicked " << offlineMachine_flag;
}

void OfflineDlg::on_forceProgramCB_clicked(bool)
{
    qDebug() << " on_forceProgramCB_clicked " << offlineForceProgram_flag;
}
