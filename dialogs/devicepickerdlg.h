// The device picker: every device of every pack the program knows (shipped, the user's pack
// folder, packs added here), as vendor → family → device, searchable by name, with the chosen
// device's cores, memories and flash algorithms. "Add pack…" copies a pack into the user's folder.
#pragma once

#include "pack/targetcatalog.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

class DevicePickerDlg : public QDialog
{
    Q_OBJECT
public:
    explicit DevicePickerDlg(QWidget *parent = nullptr);

    void select(const QString &device); // shows and chooses that device when it is listed
    QString device() const; // empty: none chosen
    QString core() const; // empty: the boot core

    QLineEdit *searchLineEdit;
    QTreeWidget *deviceTreeWidget;
    QTextBrowser *detailsBrowser;
    QComboBox *coreComboBox;
    QPushButton *addPackPushButton;
    QPushButton *okPushButton;
    QPushButton *cancelPushButton;

    // Copies the pack at `path` into the user's pack folder after reading it; false with the
    // reason when it cannot be read or copied.
    bool addPack(const QString &path, QString &error);

private:
    void reload();
    void filter(const QString &text);
    void showDevice();
    const pack::TargetDescription *chosen() const;

    pack::TargetCatalog catalog;
    QVector<const pack::TargetDescription *> devices;
};
