// Asks for the read-protection Level-2 password before that irreversible level can be chosen.
#pragma once

#include <QDialog>
#include <cstdint>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRegExpValidator;
class QVBoxLayout;

// The Level-2 password of the chip family's documentation, typed as up to eight hex digits and
// compared as one 32-bit number. Kept here only, so that the dialog and its caller agree.
constexpr uint32_t readProtectLevel2Password = 0x5A3C96E1;

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
