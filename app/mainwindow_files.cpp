// The program file list: adding a file at a typed flash address, removing one, and re-reading
// files that changed on disk before Start.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "addressdlg.h"
#include "download.h"
#include "job/filelist.h"

#include <QDebug>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTableWidgetItem>

namespace {

const QString settingsFile = QStringLiteral("./Setting.ini");
const QString lastPathKey = QStringLiteral("LastFilePath");

// Slot n takes the chosen file at `address` by the list's rules, then gets its three cells.
// Returns the result of loading the image.
int fillSlot(Download &d, QTableWidget *table, int n, uint32_t address)
{
    const int loaded = job::placeFile(d, n, d.filePath[n], address);
    d.nameItem[n] = new QTableWidgetItem(d.fileName[n]);
    d.addressItem[n] = new QTableWidgetItem(job::hexText(d.imageAddress[n]));
    d.sizeItem[n] = new QTableWidgetItem(job::hexText(d.imageLength[n]));
    table->setItem(n, 0, d.nameItem[n]);
    table->setItem(n, 1, d.addressItem[n]);
    table->setItem(n, 2, d.sizeItem[n]);
    return loaded;
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

    listFile(download->filePath[n], addressText.toUInt(nullptr, 16));
}

void MainWindow::listFile(const QString &path, uint32_t address)
{
    const int n = download->fileCount;
    download->filePath[n] = path;
    const int loaded = fillSlot(*download, ui->fileTableWidget, n, address);
    download->fileCount = n + 1;

    if (loaded != 0) {
        QMessageBox::information(this, tr("警告"), tr("文件解析错误！"));
        on_fileRemovePushButton_clicked();
    }
    // Judged on the list as it now stands: a re-read before Start may have grown the previous
    // last file into its neighbour, and that pair is caught here too.
    if (job::overlapsPrevious(*download, download->fileCount - 1)) {
        QMessageBox::information(this, tr("警告"), tr("该文件烧录地址处于上一个文件烧录范围内"));
        on_fileRemovePushButton_clicked();
    }
}

void MainWindow::on_fileRemovePushButton_clicked()
{
    if (download->fileCount > 0)
        removeFileAt(download->fileCount - 1);
}

// The cells move with their slots: the rows below the removed one move up one.
void MainWindow::removeFileAt(int slot)
{
    Download &d = *download;
    if (slot < 0 || slot >= d.fileCount)
        return;
    delete d.nameItem[slot];
    delete d.addressItem[slot];
    delete d.sizeItem[slot];
    const int last = d.fileCount - 1;
    for (int i = slot; i < last; ++i) {
        for (int column = 0; column < 3; ++column)
            ui->fileTableWidget->setItem(i, column, ui->fileTableWidget->takeItem(i + 1, column));
    }
    job::removeSlot(d, slot);
}

// A changed file that is empty, gone or unreadable is dropped itself; the others keep their order.
int MainWindow::reloadChangedFiles()
{
    const job::ReloadResult reload = job::reloadChangedFiles(*download, [this](int i) {
        download->sizeItem[i]->setText(job::hexText(download->fileSize[i]));
    });
    if (reload.slot < 0)
        return 0;
    if (reload.parseError)
        QMessageBox::information(this, tr("警告"), tr("文件解析错误"));
    removeFileAt(reload.slot);
    return 1;
}
