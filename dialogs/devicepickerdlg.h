// The device picker: every device of every pack the program knows (shipped, the user's pack
// folder, packs added here), as vendor → family → device, searchable by name, with the chosen
// device's cores, memories and flash algorithms, where the non-default ones (option bytes, UICR,
// external loaders) can be ticked for the job. "Add pack…" copies a pack into the user's folder.
#pragma once

#include "pack/targetcatalog.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

class DevicePickerDlg : public QDialog
{
    Q_OBJECT
public:
    explicit DevicePickerDlg(QWidget *parent = nullptr);

    // Shows and chooses that device when it is listed, with those of its non-default algorithms
    // ticked (names as a job gives them: file name, stem or path, any case).
    void select(const QString &device, const QStringList &algorithms = QStringList());
    QString device() const; // empty: none chosen
    QString core() const; // empty: the boot core
    QStringList algorithms() const; // the ticked non-default algorithms, by file name

    QLineEdit *searchLineEdit;
    QTreeWidget *deviceTreeWidget;
    QTextBrowser *detailsBrowser;
    QComboBox *coreComboBox;
    QListWidget *algorithmListWidget;
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
