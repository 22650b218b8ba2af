// Message tables of runs and read-backs.
#include "job/messages.h"

#include "engine/download.h"
#include "job/chipmodels.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace job {

namespace {

// Code 6 is the probe asking to be reconnected; the window restarts the job a few times and shows
// this only when the restarts are used up: the probe still cannot attach to the chip, which is
// what code 2's message asks the user to check.
struct ResultView
{
    int code;
    int bar;
    const char *message;
};

constexpr ResultView resultViews[] = {
    {0, -1,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#6688DD' size='+2' face='新宋体'><b> 烧写成功！ </b></font>")},
    {1, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> 未连接! </b></font>")},
    {2, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> "
                       "请确认烧录器和待编程芯片正确连接！ </b></font>")},
    {3, 0,
     QT_TRANSLATE_NOOP(
         "MainWindow",
         "<font color='#DD6622' size='+2' face='新宋体'><b> 芯片识别错误！ </b></font>")},
    {4, 0,
     QT_TRANSLATE_NOOP(
         "MainWindow",
         "<font color='#DD6622' size='+2' face='新宋体'><b> 没有文件或滚码！ </b></font>")},
    {5, 100,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#6688DD' size='+2' face='新宋体'><b> 擦除成功！ </b></font>")},
    {6, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> "
                       "请确认烧录器和待编程芯片正确连接！ </b></font>")},
    {7, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> 擦除错误！ </b></font>")},
    {8, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> 烧写错误！ </b></font>")},
    {9, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> 滚码错误！ </b></font>")},
    {10, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> "
                       "芯片读保护，请选择全擦除！ </b></font>")},
    {11, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> "
                       "芯片从LDROM启动，LDROM的bin文件超出8KB！ </b></font>")},
    {12, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> "
                       "芯片从APROM启动，LDROM的bin文件超出8KB！ </b></font>")},
    {13, 0,
     QT_TRANSLATE_NOOP(
         "MainWindow",
         "<font color='#DD6622' size='+2' face='新宋体'><b> 芯片探测错误！ </b></font>")},
    {14, 0,
     QT_TRANSLATE_NOOP("MainWindow",
                       "<font color='#DD6622' size='+2' face='新宋体'><b> "
                       "超过7个烧录文件时请选择扇区擦除！ </b></font>")},
};

constexpr ResultView otherResult = {
    -1, 0,
    QT_TRANSLATE_NOOP("MainWindow",
                      "<font color='#DD6622' size='+2' face='新宋体'><b> 其他错误！ </b></font>")};

const ResultView &resultViewFor(int code)
{
    for (const ResultView &view : resultViews) {
        if (view.code == code)
            return view;
    }
    return otherResult;
}

} // namespace

QString runResultMessage(int code)
{
    return QCoreApplication::translate("MainWindow", resultViewFor(code).message);
}

int runResultBar(int code)
{
    return resultViewFor(code).bar;
}

QString verifyMessage(int code)
{
    switch (code) {
    case 0:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#6688DD' size='+2' face='新宋体'><b> 文件与芯片数据一致！ </b></font>");
    case 1:
        return QCoreApplication::translate(
            "MainWindow", "<font color='#DD6622' size='+2' face='新宋体'><b> 未连接! </b></font>");
    case 2:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 未选择文件！ </b></font>");
    case 3:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 未找到芯片！ </b></font>");
    case 4:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 文件与芯片数据不一致！ </b></font>");
    case 5:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 芯片读保护！ </b></font>");
    case 6:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 芯片型号错误！ </b></font>");
    default:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 其他错误! </b></font>");
    }
}

QString readBackFailureMessage(int code)
{
    switch (code) {
    case 1:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 未选择芯片型号! </b></font>");
    case 2:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 未找到芯片！ </b></font>");
    case 3:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 已加密，无法读取！ </b></font>");
    case 4:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 读取数据发生错误！ </b></font>");
    case 5:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 芯片型号错误！ </b></font>");
    case -1:
        return QCoreApplication::translate("MainWindow",
                                           "<font color='#DD6622' size='+2' face='新宋体'><b> "
                                           "传输错误，请重新连接后再尝试！ </b></font>");
    default:
        return QString();
    }
}

QString readBackRefusal(int connected, uint32_t probeId)
{
    if (connected == 0)
        return QCoreApplication::translate(
            "MainWindow", "<font color='#DD6622' size='+2' face='新宋体'><b> 未连接! </b></font>");
    if (firmwareRefusesReadback(probeId))
        return QCoreApplication::translate("MainWindow",
                                           "<font color='#6688DD' size='+2' face='新宋体'><b> "
                                           "固件版本小于1.96，不支持该功能! </b></font>");
    return QString();
}

QString refusedFirmwareMessage(uint32_t probeId)
{
    if ((probeId >> 16) == 0x6CFF)
        return QString("<font color='#DD6622' size='+2' face='新宋体'><b> "
                       "固件版本%1，与客户端不匹配！ </b></font>")
            .arg(firmwareVersionText(probeId));
    return QString("<font color='#DD6622' size='+2' face='新宋体'><b> 固件版本小于1.40，"
                   "与客户端不匹配！ </b></font>");
}

QString qd52RefusedMessage()
{
    return QCoreApplication::translate(
        "MainWindow",
        "<font color='#6688DD' size='+2' face='新宋体'><b> 固件版本小于1.95，不支持烧录QD52! "
        "</b></font>");
}

QString offlineEraseMessage(int code)
{
    switch (code) {
    case 1:
        return QCoreApplication::translate(
            "MainWindow", "<font color='#DD6622' size='+2' face='新宋体'><b> 未连接! </b></font>");
    case 0:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#6688DD' size='+2' face='新宋体'><b> 擦除成功！ </b></font>");
    default:
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 擦除失败! </b></font>");
    }
}

QString rangeProblem(uint32_t address, uint32_t size)
{
    if (size == 0)
        return QCoreApplication::translate(
            "MainWindow", "<font color='#DD6622' size='+2' face='新宋体'><b> 大小为0! </b></font>");
    if (address % 4 != 0)
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 地址非4字节对齐！ </b></font>");
    if (size % 4 != 0)
        return QCoreApplication::translate(
            "MainWindow",
            "<font color='#DD6622' size='+2' face='新宋体'><b> 大小非4字节对齐！ </b></font>");
    return QString();
}

namespace {

QString rangeText(uint32_t address, uint32_t size)
{
    return QCoreApplication::translate("MainWindow", "起始地址0x")
        + QString::number(address, 16).toUpper()
        + QCoreApplication::translate("MainWindow", "，大小0x")
        + QString::number(size, 16).toUpper();
}

// Numeric results, successful ones included, go into the red wrapper.
QString redResult(const QString &text)
{
    return QCoreApplication::translate(
               "MainWindow", "<font color='#DD6622' size='+2' face='新宋体'><b> %1 </b></font>")
        .arg(text);
}

} // namespace

QString md5ResultMessage(uint32_t address, uint32_t size, const uint8_t digest[16])
{
    QString hex;
    for (int i = 0; i < 16; ++i)
        hex += QString::asprintf("%02X", digest[i]);
    return redResult(rangeText(address, size)
                     + QCoreApplication::translate("MainWindow", "。MD5值为：") + hex);
}

QString crcResultMessage(uint32_t address, uint32_t size, uint32_t crc)
{
    return redResult(rangeText(address, size)
                     + QCoreApplication::translate("MainWindow", "。CRC-32为：0x")
                     + QString::asprintf("%08X", crc));
}

QString fileCrcMessage(const Download &d)
{
    QString text = QCoreApplication::translate("MainWindow", "文件1的CRC-32为：0x")
        + QString::asprintf("%08X", d.fileCrc[0]);
    for (int i = 1; i < d.fileCount; ++i)
        text += QCoreApplication::translate("MainWindow", "<br>文件%1的CRC-32为：0x").arg(i + 1)
            + QString::asprintf("%08X", d.fileCrc[i]);
    return redResult(text);
}

QString noFilesMessage()
{
    return QCoreApplication::translate(
        "MainWindow", "<font color='#DD6622' size='+2' face='新宋体'><b> 没有文件! </b></font>");
}

QString plainText(const QString &html)
{
    QString text = html;
    text.replace(
        QRegularExpression(QStringLiteral("<br\\s*/?>"), QRegularExpression::CaseInsensitiveOption),
        QStringLiteral("\n"));
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text.trimmed();
}

} // namespace job
