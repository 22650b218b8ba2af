// The help menu's read-back tools: verify against the files, MD5 and CRC-32 of a flash range
// read by the probe, the CRC-32 of the loaded files computed here, and the job's flash map.
#include "mainwindow.h"

#include "crc32dlg.h"
#include "download.h"
#include "flashmapdlg.h"
#include "flashplan.h"
#include "helpmessages.h"
#include "md5dlg.h"

#include <QDebug>
#include <QLineEdit>

namespace {

// Why a probe read-back cannot start, or empty. MD5 and CRC-32 need firmware 1.96 or later.
QString readBackRefusal(const Download &d)
{
    if (d.connected == 0)
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 未连接! </b></font>");
    if ((d.probeId & 0xFFF0) == 0x0190 && (d.probeId & 0xF) <= 5)
        return MainWindow::tr("<font color='#6688DD' size='+2' face='新宋体'><b> "
                              "固件版本小于1.96，不支持该功能! </b></font>");
    return QString();
}

// The entered range is stored before it is judged and stays in the record whatever follows.
QString takeRange(const RangeDlg &dlg, uint32_t &address, uint32_t &size)
{
    address = dlg.addressLineEdit->text().toUInt(nullptr, 16);
    size = dlg.sizeLineEdit->text().toUInt(nullptr, 16);
    if (size == 0)
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 大小为0! </b></font>");
    if (address % 4 != 0)
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 地址非4字节对齐！ </b></font>");
    if (size % 4 != 0)
        return MainWindow::tr(
            "<font color='#DD6622' size='+2' face='新宋体'><b> 大小非4字节对齐！ </b></font>");
    return QString();
}

QString rangeText(uint32_t address, uint32_t size)
{
    return MainWindow::tr("起始地址0x") + QString::number(address, 16).toUpper()
        + MainWindow::tr("，大小0x") + QString::number(size, 16).toUpper();
}

// Numeric results, successful ones included, go into the red wrapper.
QString redResult(const QString &text)
{
    return MainWindow::tr("<font color='#DD6622' size='+2' face='新宋体'><b> %1 </b></font>")
        .arg(text);
}

} // namespace

void MainWindow::helpVerifyActionSlot()
{
    qDebug() << "helpVerifyActionSlot";
    showAbout(verifyMessage(download->verifyImages()));
}

void MainWindow::helpMD5ActionSlot()
{
    qDebug() << "helpMD5ActionSlot";
    QString message = readBackRefusal(*download);
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
        QString digest;
        for (uint8_t byte : download->md5Digest)
            digest += QString::asprintf("%02X", byte);
        message = redResult(rangeText(download->md5Address, download->md5Size) + tr("。MD5值为：")
                            + digest);
    } else {
        message = readBackFailureMessage(code);
    }
    if (!message.isEmpty())
        showAbout(message);
}

void MainWindow::helpCRC32ActionSlot()
{
    qDebug() << "helpCRC32ActionSlot";
    QString message = readBackRefusal(*download);
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
        message = redResult(rangeText(download->crcAddress, download->crcSize)
                            + tr("。CRC-32为：0x") + QString::asprintf("%08X", download->crcValue));
    else
        message = readBackFailureMessage(code);
    if (!message.isEmpty())
        showAbout(message);
}

// Host-side only: no probe traffic, the images as they are loaded right now.
void MainWindow::helpCRC32FileActionSlot()
{
    qDebug() << "helpCRC32FileActionSlot";
    if (download->fileCount <= 0) {
        showAbout(tr("<font color='#DD6622' size='+2' face='新宋体'><b> 没有文件! </b></font>"));
        return;
    }
    download->calcFileCrc32();
    QString text = tr("文件1的CRC-32为：0x") + QString::asprintf("%08X", download->fileCrc[0]);
    for (int i = 1; i < download->fileCount; ++i)
        text += tr("<br>文件%1的CRC-32为：0x").arg(i + 1)
            + QString::asprintf("%08X", download->fileCrc[i]);
    showAbout(redResult(text));
}

// Built from the job as it is now; the boot source is unknown until a run checks the chip.
void MainWindow::helpFlashMapActionSlot()
{
    qDebug() << "helpFlashMapActionSlot";
    FlashMapDlg dlg(planJob(*download, 0), this);
    dlg.exec();
}
