// The help menu's read-back tools: verify against the files, MD5 and CRC-32 of a flash range
// read by the probe, the CRC-32 of the loaded files computed here, and the job's flash map.
#include "mainwindow.h"

#include "crc32dlg.h"
#include "download.h"
#include "flashmapdlg.h"
#include "flashplan.h"
#include "job/messages.h"
#include "md5dlg.h"

#include <QDebug>
#include <QLineEdit>

namespace {

// The entered range is stored before it is judged and stays in the record whatever follows.
QString takeRange(const RangeDlg &dlg, uint32_t &address, uint32_t &size)
{
    address = dlg.addressLineEdit->text().toUInt(nullptr, 16);
    size = dlg.sizeLineEdit->text().toUInt(nullptr, 16);
    return job::rangeProblem(address, size);
}

} // namespace

void MainWindow::helpVerifyActionSlot()
{
    qDebug() << "helpVerifyActionSlot";
    showAbout(job::verifyMessage(download->verifyImages()));
}

void MainWindow::helpMD5ActionSlot()
{
    qDebug() << "helpMD5ActionSlot";
    QString message = job::readBackRefusal(download->connected, download->probeId);
    if (!message.isEmpty()) {
        showAbout(message);
        return;
    }
    MD5Dlg dlg;
    dlg.exec();
    if (dlg.isOK == 0)
        return;
    message = takeRange(dlg, download->md5Address, download->md5Size);
    if (!message.isEmpty()) {
        showAbout(message);
        return;
    }
    qDebug() << "md5dlg" << download->md5Address << download->md5Size;

    const int code = download->readMd5();
    if (code == 0) {
        message =
            job::md5ResultMessage(download->md5Address, download->md5Size, download->md5Digest);
    } else {
        message = job::readBackFailureMessage(code);
    }
    if (!message.isEmpty())
        showAbout(message);
}

void MainWindow::helpCRC32ActionSlot()
{
    qDebug() << "helpCRC32ActionSlot";
    QString message = job::readBackRefusal(download->connected, download->probeId);
    if (!message.isEmpty()) {
        showAbout(message);
        return;
    }
    CRC32Dlg dlg;
    dlg.exec();
    if (dlg.isOK == 0)
        return;
    message = takeRange(dlg, download->crcAddress, download->crcSize);
    if (!message.isEmpty()) {
        showAbout(message);
        return;
    }
    qDebug() << "crc32dlg" << download->crcAddress << download->crcSize;

    const int code = download->readCrc32();
    if (code == 0)
        message =
            job::crcResultMessage(download->crcAddress, download->crcSize, download->crcValue);
    else
        message = job::readBackFailureMessage(code);
    if (!message.isEmpty())
        showAbout(message);
}

// Host-side only: no probe traffic, the images as they are loaded right now.
void MainWindow::helpCRC32FileActionSlot()
{
    qDebug() << "helpCRC32FileActionSlot";
    if (download->fileCount <= 0) {
        showAbout(job::noFilesMessage());
        return;
    }
    download->calcFileCrc32();
    showAbout(job::fileCrcMessage(*download));
}

// Built from the job as it is now; the boot source is unknown until a run checks the chip.
void MainWindow::helpFlashMapActionSlot()
{
    qDebug() << "helpFlashMapActionSlot";
    FlashMapDlg dlg(planJob(*download, 0), this);
    dlg.exec();
}
