// Common body of the MD5 and CRC-32 range dialogs: a start address and a size, both in hex.
#pragma once

#include <QDialog>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRegExpValidator;
class QVBoxLayout;

class RangeDlg : public QDialog
{
    Q_OBJECT
public:
    ~RangeDlg() override;

    int isOK = 0; // 1 once the dialog was closed with the confirm button
    QLineEdit *addressLineEdit;
    QLineEdit *sizeLineEdit;
    QLabel *addressLabel;
    QLabel *sizeLabel;
    QPushButton *okPushButton;
    QPushButton *cancelPushButton;
    QHBoxLayout *addressLayout;
    QHBoxLayout *sizeLayout;
    QHBoxLayout *buttonLayout;
    QVBoxLayout *mainLayout;
    QRegExpValidator *addressValidator;
    QRegExpValidator *sizeValidator;

public slots:
    void slotClicked();

protected:
    // Texts come translated in the concrete dialog's own context.
    struct Texts
    {
        QString title;
        QString addressLabel;
        QString sizeLabel;
        QString ok;
        QString cancel;
    };
    RangeDlg(const Texts &texts, const QString &defaultSize, QWidget *parent);
};
