// The checks dialog: every field is checked as the job file reader would check it, so what the
// dialog takes, a saved job gives back.
#include "selftestdlg.h"

#include "swd/chipid.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// The longest wait a job file accepts.
constexpr int maxTimeoutMs = 600000;

QLineEdit *field(QWidget *parent, const char *name)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMinimumWidth(260);
    return edit;
}

} // namespace

SelfTestDlg::SelfTestDlg(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("自检与芯片ID"));
    expectEdit = field(this, "rttExpectLineEdit");
    expectEdit->setPlaceholderText(tr("空：不自检"));
    expectEdit->setToolTip(tr("复位后板上固件经RTT输出与之匹配的文本即为自检通过"));
    failEdit = field(this, "rttFailLineEdit");
    failEdit->setToolTip(tr("输出与之匹配的文本即为自检失败"));
    timeoutSpin = new QSpinBox(this);
    timeoutSpin->setObjectName(QStringLiteral("rttTimeoutSpinBox"));
    timeoutSpin->setRange(0, maxTimeoutMs);
    timeoutSpin->setSingleStep(100);
    addressEdit = field(this, "rttAddressLineEdit");
    addressEdit->setPlaceholderText(tr("空：在RAM中查找"));
    uidEdit = field(this, "uidLineEdit");
    uidEdit->setPlaceholderText(tr("空：设备包给出的位置"));
    uidEdit->setToolTip(tr("芯片唯一ID的地址和字节数，如0x1FFFF7E8:12，记入生产记录"));
    errorLabel = new QLabel(this);
    errorLabel->setObjectName(QStringLiteral("errorLabel"));
    errorLabel->setStyleSheet(QStringLiteral("color:#ff0000;"));
    errorLabel->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(tr("自检通过文本（正则表达式）："), expectEdit);
    form->addRow(tr("自检失败文本（正则表达式）："), failEdit);
    form->addRow(tr("自检超时（毫秒）："), timeoutSpin);
    form->addRow(tr("RTT控制块地址（十六进制）："), addressEdit);
    form->addRow(tr("芯片ID（地址:长度）："), uidEdit);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(tr("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("okPushButton"));
    ok->setDefault(true);
    buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cancelPushButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &SelfTestDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SelfTestDlg::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(errorLabel);
    layout->addWidget(buttons);
    setFields(SelfTestFields());
}

void SelfTestDlg::setFields(const SelfTestFields &f)
{
    accepted = f;
    expectEdit->setText(f.expect);
    failEdit->setText(f.fail);
    timeoutSpin->setValue(f.timeoutMs);
    addressEdit->setText(f.address ? QStringLiteral("0x%1").arg(f.address, 8, 16, QLatin1Char('0'))
                                   : QString());
    uidEdit->setText(f.uid);
    errorLabel->clear();
}

QString SelfTestDlg::problem(SelfTestFields &out) const
{
    SelfTestFields f;
    f.expect = expectEdit->text();
    f.fail = failEdit->text();
    f.timeoutMs = timeoutSpin->value();
    f.uid = uidEdit->text().trimmed();
    for (const QString &pattern : {f.expect, f.fail}) {
        const QRegularExpression re(pattern);
        if (!re.isValid())
            return tr("正则表达式无效：%1（%2）").arg(pattern, re.errorString());
    }
    if (f.expect.isEmpty() && (!f.fail.isEmpty() || !addressEdit->text().trimmed().isEmpty()))
        return tr("填写失败文本或控制块地址时须填写通过文本");
    QString address = addressEdit->text().trimmed();
    if (address.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        address = address.mid(2);
    bool ok = true;
    f.address = address.isEmpty() ? 0 : address.toUInt(&ok, 16);
    if (!ok || f.address % 4 != 0)
        return tr("RTT控制块地址须是4字节对齐的十六进制数：%1").arg(addressEdit->text());
    UidPlace place;
    QString error;
    if (!f.uid.isEmpty() && !parseUidPlace(f.uid, place, error))
        return error;
    out = f;
    return QString();
}

void SelfTestDlg::accept()
{
    const QString why = problem(accepted);
    errorLabel->setText(why);
    if (why.isEmpty())
        QDialog::accept();
}
