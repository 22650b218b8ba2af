// The Level-2 password dialog: a hex field and confirm/cancel, both closing the dialog.
#include "passworddlg.h"

#include "hexfieldwidth.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegExpValidator>
#include <QVBoxLayout>

PasswordDlg::PasswordDlg(QWidget *parent)
    : QDialog(parent)
{
    qDebug() << "dlg";
    setWindowTitle(tr("输入读保护Level-2密码(文档中)"));
    // No close button: the dialog ends only through one of its two buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    // Every object below is parented to the dialog (directly or through its layouts), so the
    // dialog deletes them all.
    passwordLineEdit = new QLineEdit(this);
    passwordLineEdit->setObjectName("passwordLineEdit");
    passwordLabel = new QLabel(tr("密码(HEX)"), this);
    passwordLabel->setObjectName("passwordLabel");
    okPushButton = new QPushButton(tr("确认"), this);
    okPushButton->setObjectName("okPushButton");
    cancelPushButton = new QPushButton(tr("取消"), this);
    cancelPushButton->setObjectName("cancelPushButton");

    mainLayout = new QVBoxLayout(this);
    editLayout = new QHBoxLayout;
    buttonLayout = new QHBoxLayout;
    editLayout->addWidget(passwordLabel);
    editLayout->addWidget(passwordLineEdit);
    buttonLayout->addWidget(okPushButton);
    buttonLayout->addWidget(cancelPushButton);
    mainLayout->addLayout(editLayout);
    mainLayout->addLayout(buttonLayout);

    passwordValidator = new QRegExpValidator(QRegExp("[A-Fa-f0-9]{0,8}"), passwordLineEdit);
    passwordLineEdit->setValidator(passwordValidator);
    fitHexDigits(passwordLineEdit, 8, 57); // a full password must be seen whole
    passwordLineEdit->setText("0");

    connect(okPushButton, &QPushButton::clicked, this, &PasswordDlg::slotClicked);
    connect(cancelPushButton, &QPushButton::clicked, this, &PasswordDlg::slotClicked);
}

PasswordDlg::~PasswordDlg()
{
    qDebug() << "~dlg";
}

void PasswordDlg::slotClicked()
{
    // The password itself is judged by the caller; the dialog only records which button closed it.
    ok = sender() == okPushButton ? 1 : 0;
    accept();
}
