// Asks for the flash address at which a newly listed program file is placed.
#pragma once

#include <QDialog>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRegExpValidator;
class QVBoxLayout;

class AddressDlg : public QDialog
{
    Q_OBJECT
public:
    explicit AddressDlg(QWidget *parent = nullptr);
    ~AddressDlg() override;

    int ok = 0; // 1 once the dialog was closed with the confirm button
    QLineEdit *addressLineEdit;
    QLabel *addressLabel;
    QPushButton *okPushButton;
    QPushButton *cancelPushButton;
    QHBoxLayout *addressLayout;
    QHBoxLayout *buttonLayout;
    QVBoxLayout *mainLayout;
    QRegExpValidator *addressValidator;

public slots:
    void slotClicked();
};
