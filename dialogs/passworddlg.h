// Asks for the read-protection Level-2 password before that irreversible level can be chosen.
#pragma once

#include "job/chipmodels.h"

#include <QDialog>
#include <cstdint>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRegExpValidator;
class QVBoxLayout;

// The password the dialog guards Level 2 with lives with the other job rules.
using job::readProtectLevel2Password;

class PasswordDlg : public QDialog
{
    Q_OBJECT
public:
    explicit PasswordDlg(QWidget *parent = nullptr);
    ~PasswordDlg() override;

    int ok = 0; // 1 when closed with the confirm button; callers read this, not exec()'s result
    QLineEdit *passwordLineEdit;
    QLabel *passwordLabel;
    QPushButton *okPushButton;
    QPushButton *cancelPushButton;
    QHBoxLayout *editLayout;
    QHBoxLayout *buttonLayout;
    QVBoxLayout *mainLayout;
    QRegExpValidator *passwordValidator;

public slots:
    void slotClicked();
};
