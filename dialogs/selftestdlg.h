// The SWD path's checks after programming: the text the board's self-test prints over RTT when it
// passes or fails, how long to wait for it, and where the chip keeps its unique ID.
#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;
class QLineEdit;
class QSpinBox;

struct SelfTestFields
{
    QString uid; // "ADDRESS:LENGTH"; empty: the device pack's, if any
    QString expect; // a regular expression; empty: no self-test
    QString fail;
    int timeoutMs = 5000;
    uint32_t address = 0; // the RTT control block's place; 0: searched in the RAM
    bool operator==(const SelfTestFields &o) const
    {
        return uid == o.uid && expect == o.expect && fail == o.fail && timeoutMs == o.timeoutMs
            && address == o.address;
    }
};

class SelfTestDlg : public QDialog
{
    Q_OBJECT
public:
    explicit SelfTestDlg(QWidget *parent = nullptr);

    void setFields(const SelfTestFields &fields);
    SelfTestFields fields() const { return accepted; }
    // Why the typed fields cannot make a job, or empty; `out` gets them when they can.
    QString problem(SelfTestFields &out) const;

    void accept() override; // only with fields a job can take; else the error line says why

private:
    QLineEdit *expectEdit;
    QLineEdit *failEdit;
    QSpinBox *timeoutSpin;
    QLineEdit *addressEdit;
    QLineEdit *uidEdit;
    QLabel *errorLabel;
    SelfTestFields accepted;
};
