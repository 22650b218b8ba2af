#include "devicepickerdlg.h"

#include "pack/jobalgorithms.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <map>

namespace {

constexpr int deviceRole = Qt::UserRole;

QString hex(uint64_t v)
{
    return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0')).toUpper().replace("0X", "0x");
}

} // namespace

DevicePickerDlg::DevicePickerDlg(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("选择器件"));
    searchLineEdit = new QLineEdit(this);
    searchLineEdit->setObjectName(QStringLiteral("searchLineEdit"));
    searchLineEdit->setPlaceholderText(tr("搜索器件、系列或厂商"));
    deviceTreeWidget = new QTreeWidget(this);
    deviceTreeWidget->setObjectName(QStringLiteral("deviceTreeWidget"));
    deviceTreeWidget->setHeaderLabels({tr("厂商 / 系列 / 器件"), tr("内核")});
    deviceTreeWidget->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    detailsBrowser = new QTextBrowser(this);
    detailsBrowser->setObjectName(QStringLiteral("detailsBrowser"));
    coreComboBox = new QComboBox(this);
    coreComboBox->setObjectName(QStringLiteral("coreComboBox"));
    algorithmListWidget = new QListWidget(this);
    algorithmListWidget->setObjectName(QStringLiteral("algorithmListWidget"));
    algorithmListWidget->setToolTip(tr("默认算法总会使用；勾选要一起使用的非默认算法"));
    addPackPushButton = new QPushButton(tr("添加设备包…"), this);
    addPackPushButton->setObjectName(QStringLiteral("addPackPushButton"));
    okPushButton = new QPushButton(tr("确认"), this);
    okPushButton->setObjectName(QStringLiteral("okPushButton"));
    cancelPushButton = new QPushButton(tr("取消"), this);
    cancelPushButton->setObjectName(QStringLiteral("cancelPushButton"));

    auto *lists = new QHBoxLayout;
    auto *left = new QVBoxLayout;
    left->addWidget(searchLineEdit);
    left->addWidget(deviceTreeWidget);
    lists->addLayout(left, 1);
    auto *right = new QVBoxLayout;
    right->addWidget(detailsBrowser, 2);
    right->addWidget(algorithmListWidget, 1);
    right->addWidget(coreComboBox);
    lists->addLayout(right, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(addPackPushButton);
    buttons->addStretch();
    buttons->addWidget(okPushButton);
    buttons->addWidget(cancelPushButton);
    auto *main = new QVBoxLayout(this);
    main->addLayout(lists);
    main->addLayout(buttons);
    resize(760, 480);

    connect(searchLineEdit, &QLineEdit::textChanged, this, &DevicePickerDlg::filter);
    connect(deviceTreeWidget, &QTreeWidget::currentItemChanged, this, &DevicePickerDlg::showDevice);
    connect(deviceTreeWidget, &QTreeWidget::itemDoubleClicked, this, [this]() {
        if (chosen())
            accept();
    });
    connect(okPushButton, &QPushButton::clicked, this, [this]() {
        if (chosen())
            accept();
    });
    connect(cancelPushButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(addPackPushButton, &QPushButton::clicked, this, [this]() {
        const QString path = QFileDialog::getOpenFileName(this, tr("添加设备包"), QString(),
                                                          tr("设备包 (*.pack *.zip)"));
        QString error;
        if (!path.isEmpty() && !addPack(path, error))
            QMessageBox::information(this, tr("警告"), error);
    });
    reload();
}

void DevicePickerDlg::reload()
{
    const QString keep = device();
    catalog = pack::TargetCatalog();
    QString error;
    // A pack that cannot be read is left out of the folder with a warning; the rest stay usable.
    if (!catalog.addFolder(pack::shippedPackFolder(), error)
        || !catalog.addFolder(pack::userPackFolder(), error))
        detailsBrowser->setPlainText(error);
    devices = catalog.devices();
    std::sort(devices.begin(), devices.end(), [](auto *a, auto *b) {
        return std::make_tuple(a->vendor, a->family, a->device)
            < std::make_tuple(b->vendor, b->family, b->device);
    });
    deviceTreeWidget->clear();
    std::map<QString, QTreeWidgetItem *> vendors, families;
    for (int i = 0; i < devices.size(); ++i) {
        const pack::TargetDescription &d = *devices[i];
        QTreeWidgetItem *&vendor = vendors[d.vendor];
        if (!vendor)
            vendor = new QTreeWidgetItem(deviceTreeWidget, {d.vendor});
        QTreeWidgetItem *&family = families[d.vendor + QLatin1Char('\n') + d.family];
        if (!family)
            family = new QTreeWidgetItem(vendor, {d.family});
        QStringList cores;
        for (const pack::Processor &p : d.processors)
            cores << p.core;
        auto *item = new QTreeWidgetItem(family, {d.device, cores.join(QStringLiteral(", "))});
        item->setData(0, deviceRole, i);
    }
    deviceTreeWidget->expandAll();
    if (!catalog.warnings().isEmpty())
        detailsBrowser->setPlainText(catalog.warnings().join(QLatin1Char('\n')));
    if (!keep.isEmpty())
        select(keep);
    filter(searchLineEdit->text());
}

void DevicePickerDlg::filter(const QString &text)
{
    for (int v = 0; v < deviceTreeWidget->topLevelItemCount(); ++v) {
        QTreeWidgetItem *vendor = deviceTreeWidget->topLevelItem(v);
        bool vendorShown = false;
        for (int f = 0; f < vendor->childCount(); ++f) {
            QTreeWidgetItem *family = vendor->child(f);
            bool familyShown = false;
            for (int k = 0; k < family->childCount(); ++k) {
                QTreeWidgetItem *item = family->child(k);
                const bool shown = text.isEmpty()
                    || item->text(0).contains(text, Qt::CaseInsensitive)
                    || family->text(0).contains(text, Qt::CaseInsensitive)
                    || vendor->text(0).contains(text, Qt::CaseInsensitive);
                item->setHidden(!shown);
                familyShown = familyShown || shown;
            }
            family->setHidden(!familyShown);
            vendorShown = vendorShown || familyShown;
        }
        vendor->setHidden(!vendorShown);
    }
}

const pack::TargetDescription *DevicePickerDlg::chosen() const
{
    const QTreeWidgetItem *item = deviceTreeWidget->currentItem();
    if (!item || item->data(0, deviceRole).isNull() || item->isHidden())
        return nullptr;
    return devices.value(item->data(0, deviceRole).toInt());
}

void DevicePickerDlg::select(const QString &name, const QStringList &algorithms)
{
    for (QTreeWidgetItem *item :
         deviceTreeWidget->findItems(name, Qt::MatchFixedString | Qt::MatchRecursive)) {
        if (!item->data(0, deviceRole).isNull()) {
            deviceTreeWidget->setCurrentItem(item);
            break;
        }
    }
    const pack::TargetDescription *d = chosen();
    if (!d)
        return;
    for (int i = 0; i < algorithmListWidget->count(); ++i) {
        QListWidgetItem *item = algorithmListWidget->item(i);
        if (!(item->flags() & Qt::ItemIsUserCheckable))
            continue;
        const pack::FlashAlgorithmRef &a = d->algorithms[item->data(Qt::UserRole).toInt()];
        const bool named = std::any_of(algorithms.begin(), algorithms.end(),
                                       [&a](const QString &n) { return pack::isNamed(a, n); });
        item->setCheckState(named ? Qt::Checked : Qt::Unchecked);
    }
}

QStringList DevicePickerDlg::algorithms() const
{
    const pack::TargetDescription *d = chosen();
    QStringList names;
    for (int i = 0; d && i < algorithmListWidget->count(); ++i) {
        const QListWidgetItem *item = algorithmListWidget->item(i);
        if ((item->flags() & Qt::ItemIsUserCheckable) && item->checkState() == Qt::Checked)
            names << pack::algorithmName(d->algorithms[item->data(Qt::UserRole).toInt()]);
    }
    return names;
}

QString DevicePickerDlg::device() const
{
    const pack::TargetDescription *d = chosen();
    return d ? d->device : QString();
}

QString DevicePickerDlg::core() const
{
    return chosen() ? coreComboBox->currentData().toString() : QString();
}

void DevicePickerDlg::showDevice()
{
    coreComboBox->clear();
    algorithmListWidget->clear();
    const pack::TargetDescription *d = chosen();
    okPushButton->setEnabled(d != nullptr);
    if (!d) {
        detailsBrowser->clear();
        coreComboBox->setVisible(false);
        return;
    }
    coreComboBox->addItem(tr("启动内核"), QString());
    for (const pack::Processor &p : d->processors) {
        if (!p.pname.isEmpty())
            coreComboBox->addItem(p.pname, p.pname);
    }
    coreComboBox->setVisible(d->processors.size() > 1);

    QString html = QStringLiteral("<b>%1</b> — %2<br>")
                       .arg(d->device.toHtmlEscaped(), d->packId.toHtmlEscaped());
    html += tr("<b>内核</b>") + QStringLiteral("<br>");
    for (const pack::Processor &p : d->processors)
        html += QStringLiteral("&nbsp;&nbsp;%1 %2<br>")
                    .arg(p.pname.toHtmlEscaped(), p.core.toHtmlEscaped());
    html += tr("<b>存储器</b>") + QStringLiteral("<br>");
    for (const pack::MemoryRegion &m : d->memories)
        html += QStringLiteral("&nbsp;&nbsp;%1 %2–%3 %4<br>")
                    .arg(m.name.toHtmlEscaped(), hex(m.start), hex(m.end() - 1),
                         m.access.toHtmlEscaped());
    html += tr("<b>烧写算法</b>") + QStringLiteral("<br>");
    for (const pack::FlashAlgorithmRef &a : d->algorithms)
        html += QStringLiteral("&nbsp;&nbsp;%1 %2–%3 %4<br>")
                    .arg(pack::algorithmName(a).toHtmlEscaped(), hex(a.start), hex(a.end() - 1),
                         a.isDefault ? tr("默认") : tr("非默认"));
    detailsBrowser->setHtml(html);

    // A default algorithm is used whatever is ticked; one this host cannot run is never offered.
    for (int i = 0; i < d->algorithms.size(); ++i) {
        const pack::FlashAlgorithmRef &a = d->algorithms[i];
        auto *item = new QListWidgetItem(
            QStringLiteral("%1 %2–%3").arg(pack::algorithmName(a), hex(a.start), hex(a.end() - 1)),
            algorithmListWidget);
        item->setData(Qt::UserRole, i);
        if (a.isDefault) {
            item->setFlags(Qt::ItemIsEnabled);
            item->setCheckState(Qt::Checked);
            item->setToolTip(tr("默认算法"));
        } else if (!pack::runnableStyle(a)) {
            item->setFlags(Qt::NoItemFlags);
            item->setCheckState(Qt::Unchecked);
            item->setToolTip(tr("%1格式的算法无法运行").arg(a.style));
        } else {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
    }
}

bool DevicePickerDlg::addPack(const QString &path, QString &error)
{
    pack::TargetCatalog trial;
    if (!trial.addPack(path, error, true))
        return false;
    const QString folder = pack::userPackFolder();
    const QString target = QDir(folder).filePath(QFileInfo(path).fileName());
    if (!QDir().mkpath(folder)) {
        error = tr("无法建立设备包文件夹：%1").arg(folder);
        return false;
    }
    if (QFileInfo(target).absoluteFilePath() != QFileInfo(path).absoluteFilePath()) {
        QFile::remove(target);
        if (!QFile::copy(path, target)) {
            error = tr("无法复制设备包到%1").arg(target);
            return false;
        }
    }
    reload();
    return true;
}
