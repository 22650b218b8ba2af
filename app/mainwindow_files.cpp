// The program file list: adding a file at a typed flash address, removing one, and re-reading
// files that changed on disk before Start.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "addressdlg.h"
#include "download.h"

#include <QDateTime>
#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTableWidgetItem>

namespace {

const QString settingsFile = QStringLiteral("./Setting.ini");
const QString lastPathKey = QStringLiteral("LastFilePath");

QString hexText(uint32_t value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

// A file that is gone counts as changed (and as empty): -1 never equals a stored time.
qint64 modifiedMs(const QFileInfo &info)
{
    return info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
}

// Slot n takes the chosen file at `address`: buffer, fields, image and its three cells.
// Returns the result of loading the image.
int fillSlot(Download &d, QTableWidget *table, int n, uint32_t address)
{
    const QFileInfo info(d.filePath[n]);
    d.fileTime[n] = modifiedMs(info);
    d.fileName[n] = info.fileName();
    d.fileSize[n] = static_cast<uint32_t>(info.size());
    d.imageAddress[n] = address;
    if (!d.imageData[n])
        d.imageData[n] = new uint8_t[Download::imageBufferSize];
    d.imageLength[n] = 0;
    qDebug().noquote() << "File Info" << d.fileName[n] << d.fileSize[n] << d.imageAddress[n];

    d.nameItem[n] = new QTableWidgetItem(d.fileName[n]);
    d.addressItem[n] = new QTableWidgetItem(hexText(d.imageAddress[n]));
    d.sizeItem[n] = new QTableWidgetItem;
    const int loaded = d.loadImageFile(d.filePath[n], n);
    table->setItem(n, 0, d.nameItem[n]);
    table->setItem(n, 1, d.addressItem[n]);
    d.sizeItem[n]->setText(hexText(d.imageLength[n]));
    table->setItem(n, 2, d.sizeItem[n]);
    return loaded;
}

// Files run in ascending address order; only the neighbouring pair is compared. The end is taken
// in 64 bits so that an image reaching past 4 GiB cannot wrap round and let an overlap through.
bool overlapsPrevious(const Download &d, int n)
{
    return n > 0 && n < Download::maxFiles
        && d.imageAddress[n] < uint64_t(d.imageAddress[n - 1]) + d.imageLength[n - 1];
}

} // namespace

void MainWindow::on_fileAddPushButton_clicked()
{
    const int n = download->fileCount;
    if (n >= Download::maxFiles) {
        QMessageBox::information(this, tr("警告"), tr("最大支持10个烧录文件"));
        return;
    }

    QSettings settings(settingsFile, QSettings::IniFormat);
    const QString lastPath = settings.value(lastPathKey).toString();
    download->filePath[n] = QFileDialog::getOpenFileName(this, QObject::tr("打开文件"), lastPath,
                                                         QObject::tr("烧录文件 (*.hex *.bin)"));
    if (download->filePath[n].isEmpty())
        return;
    // Saved before the address is asked, so a cancelled add still remembers the folder.
    settings.setValue(lastPathKey, download->filePath[n]);
    settings.sync();

    AddressDlg dlg;
    dlg.exec();
    const QString addressText = dlg.addressLineEdit->text();
    qDebug().noquote() << addressText << dlg.ok;
    if (dlg.ok == 0) {
        download->filePath[n].clear();
        return;
    }

    const int loaded = fillSlot(*download, ui->fileTableWidget, n, addressText.toUInt(nullptr, 16));
    download->fileCount = n + 1;

    if (loaded != 0) {
        QMessageBox::information(this, tr("警告"), tr("文件解析错误！"));
        on_fileRemovePushButton_clicked();
    }
    // Judged on the list as it now stands: a re-read before Start may have grown the previous
    // last file into its neighbour, and that pair is caught here too.
    if (overlapsPrevious(*download, download->fileCount - 1)) {
        QMessageBox::information(this, tr("警告"), tr("该文件烧录地址处于上一个文件烧录范围内"));
        on_fileRemovePushButton_clicked();
    }
}

void MainWindow::on_fileRemovePushButton_clicked()
{
    if (download->fileCount > 0)
        removeFileAt(download->fileCount - 1);
}

// Frees the slot's buffer and cells, then moves every later slot up one row so the list stays
// gap-free and in its order.
void MainWindow::removeFileAt(int slot)
{
    Download &d = *download;
    if (slot < 0 || slot >= d.fileCount)
        return;
    delete[] d.imageData[slot];
    delete d.nameItem[slot];
    delete d.addressItem[slot];
    delete d.sizeItem[slot];

    const int last = d.fileCount - 1;
    for (int i = slot; i < last; ++i) {
        d.filePath[i] = d.filePath[i + 1];
        d.fileName[i] = d.fileName[i + 1];
        d.fileTime[i] = d.fileTime[i + 1];
        d.fileSize[i] = d.fileSize[i + 1];
        d.imageAddress[i] = d.imageAddress[i + 1];
        d.imageData[i] = d.imageData[i + 1];
        d.imageLength[i] = d.imageLength[i + 1];
        d.fileCrc[i] = d.fileCrc[i + 1];
        d.nameItem[i] = ui->fileTableWidget->takeItem(i + 1, 0);
        d.addressItem[i] = ui->fileTableWidget->takeItem(i + 1, 1);
        d.sizeItem[i] = ui->fileTableWidget->takeItem(i + 1, 2);
        ui->fileTableWidget->setItem(i, 0, d.nameItem[i]);
        ui->fileTableWidget->setItem(i, 1, d.addressItem[i]);
        ui->fileTableWidget->setItem(i, 2, d.sizeItem[i]);
    }

    d.filePath[last].clear();
    d.fileName[last].clear();
    d.fileTime[last] = 0;
    d.fileSize[last] = 0;
    d.imageAddress[last] = 0;
    d.imageData[last] = nullptr;
    d.imageLength[last] = 0;
    d.nameItem[last] = nullptr;
    d.addressItem[last] = nullptr;
    d.sizeItem[last] = nullptr;
    d.fileCount = last;
}

// A changed file that is empty, gone or unreadable is dropped itself; the others keep their order.
int MainWindow::reloadChangedFiles()
{
    for (int i = 0; i < download->fileCount; ++i) {
        const QFileInfo info(download->filePath[i]);
        const qint64 time = modifiedMs(info);
        if (time == download->fileTime[i])
            continue;
        const qint64 size = info.exists() ? info.size() : 0;
        download->fileSize[i] = static_cast<uint32_t>(size);
        if (size == 0) {
            removeFileAt(i);
            return 1;
        }
        download->sizeItem[i]->setText(hexText(download->fileSize[i]));
        download->fileTime[i] = time;
        if (download->loadImageFile(download->filePath[i], i) != 0) {
            QMessageBox::information(this, tr("警告"), tr("文件解析错误"));
            removeFileAt(i);
            return 1;
        }
    }
    return 0;
}
