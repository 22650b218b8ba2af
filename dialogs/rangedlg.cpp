// Builds the two-field range dialog shared by the MD5 and CRC-32 read-back tools.
#include "rangedlg.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegExpValidator>
#include <QVBoxLayout>

namespace {

QLineEdit *makeHexEdit(const QString &name, const QString &text, QRegExpValidator **validator,
                       QWidget *parent)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setFixedWidth(80);
    *validator = new QRegExpValidator(QRegExp(QStringLiteral("[A-Fa-f0-9]{0,8}")), parent);
    edit->setValidator(*validator);
    return edit;
}

QHBoxLayout *makeRow(QWidget *first, QWidget *second)
{
    auto *row = new QHBoxLayout;
    row->addWidget(first);
    row->addWidget(second);
    return row;
}

} // namespace

RangeDlg::RangeDlg(const Texts &texts, const QString &defaultSize, QWidget *parent)
    : QDialog(parent)
{
    qDebug() << "dlg";
    setWindowTitle(texts.title);
    setWindowFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    addressLineEdit = makeHexEdit(QStringLiteral("addressLineEdit"), QStringLiteral("0"),
                                  &addressValidator, this);
    sizeLineEdit = makeHexEdit(QStringLiteral("sizeLineEdit"), defaultSize, &sizeValidator, this);
    addressLabel = new QLabel(texts.addressLabel, this);
    sizeLabel = new QLabel(texts.sizeLabel, this);
    okPushButton = new QPushButton(texts.ok, this);
    okPushButton->setObjectName(QStringLiteral("okPushButton"));
    cancelPushButton = new QPushButton(texts.cancel, this);
    cancelPushButton->setObjectName(QStringLiteral("cancelPushButton"));

    addressLayout = makeRow(addressLabel, addressLineEdit);
    sizeLayout = makeRow(sizeLabel, sizeLineEdit);
    buttonLayout = makeRow(okPushButton, cancelPushButton);
    mainLayout = new QVBoxLayout(this);
    mainLayout->addLayout(addressLayout);
    mainLayout->addLayout(sizeLayout);
    mainLayout->addLayout(buttonLayout);

    connect(okPushButton, &QPushButton::clicked, this, &RangeDlg::slotClicked);
    connect(cancelPushButton, &QPushButton::clicked, this, &RangeDlg::slotClicked);
}

RangeDlg::~RangeDlg()
{
    qDebug() << "~dlg";
}

// Both buttons accept; the caller tells them apart by isOK, not by exec()'s result.
void RangeDlg::slotClicked()
{
    isOK = sender() == okPushButton ? 1 : 0;
    accept();
}
