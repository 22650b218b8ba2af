// The flash-address dialog of the file list: eight hex digits at most, word-aligned.
#include "addressdlg.h"

#include "hexfieldwidth.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegExpValidator>
#include <QVBoxLayout>

AddressDlg::AddressDlg(QWidget *parent)
    : QDialog(parent)
{
    qDebug() << "dlg";
    setWindowTitle(tr("添加烧写地址"));
    setWindowFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    addressLineEdit = new QLineEdit(QStringLiteral("0"), this);
    addressLineEdit->setObjectName(QStringLiteral("addressLineEdit"));
    fitHexDigits(addressLineEdit, 8, 57); // a full address must be seen whole
    addressLabel = new QLabel(tr("烧写地址(HEX)"), this);
    okPushButton = new QPushButton(tr("确认"), this);
    okPushButton->setObjectName(QStringLiteral("okPushButton"));
    cancelPushButton = new QPushButton(tr("取消"), this);
    cancelPushButton->setObjectName(QStringLiteral("cancelPushButton"));

    addressLayout = new QHBoxLayout;
    addressLayout->addWidget(addressLabel);
    addressLayout->addWidget(addressLineEdit);
    buttonLayout = new QHBoxLayout;
    buttonLayout->addWidget(okPushButton);
    buttonLayout->addWidget(cancelPushButton);
    mainLayout = new QVBoxLayout(this);
    mainLayout->addLayout(addressLayout);
    mainLayout->addLayout(buttonLayout);

    addressValidator = new QRegExpValidator(QRegExp(QStringLiteral("[A-Fa-f0-9]{0,8}")), this);
    addressLineEdit->setValidator(addressValidator);

    connect(okPushButton, &QPushButton::clicked, this, &AddressDlg::slotClicked);
    connect(cancelPushButton, &QPushButton::clicked, this, &AddressDlg::slotClicked);
}

AddressDlg::~AddressDlg()
{
    qDebug() << "~dlg";
}

// Cancel is held to the alignment rule as well: the dialog only closes on an aligned text.
void AddressDlg::slotClicked()
{
    const uint address = addressLineEdit->text().toUInt(nullptr, 16);
    if (address % 4 != 0) {
        QMessageBox::information(this, tr("警告"), QStringLiteral("FLASH地址必须4字节对齐"));
        return;
    }
    ok = sender() == okPushButton ? 1 : 0;
    accept();
}
