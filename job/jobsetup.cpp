// Options and files of a job setup applied to a job record.
#include "job/jobsetup.h"

#include "engine/download.h"
#include "images/crc32.h"
#include "images/hexfilereader.h"
#include "job/chipmodels.h"
#include "job/filelist.h"
#include "job/hexregions.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace job {

namespace {

constexpr uint32_t offlineIntervalMin = 300;
constexpr uint32_t offlineIntervalMax = 3000;
constexpr uint32_t offlineIntervalDefault = 500;
constexpr uint32_t noCountLimit = 0xFFFFFFFF; // how the probe reads "no limit"

const char *const alignmentMessage = "FLASH地址必须4字节对齐";

bool isHex(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("hex"), Qt::CaseInsensitive) == 0;
}

bool isBin(const QString &path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("bin"), Qt::CaseInsensitive) == 0;
}

LoadProblem problem(const QString &file, const QString &message, bool inputFile)
{
    return LoadProblem{file, message, inputFile};
}

// Appends one image behind the listed ones by the list's rules; `fill` loads the slot's buffer.
LoadProblem appendImage(Download &d, const QString &path, uint32_t address,
                        const std::function<int(Download &, int)> &fill)
{
    const int n = d.fileCount;
    if (n >= Download::maxFiles)
        return problem(path, QCoreApplication::translate("MainWindow", "最大支持10个烧录文件"),
                       false);
    if (address % 4 != 0)
        return problem(path, QString::fromUtf8(alignmentMessage), false);
    prepareSlot(d, n, path, address);
    if (fill(d, n) != 0) {
        d.fileCount = n + 1;
        removeSlot(d, n);
        return problem(path, QCoreApplication::translate("MainWindow", "文件解析错误！"), true);
    }
    d.fileCount = n + 1;
    if (overlapsPrevious(d, n)) {
        removeSlot(d, n);
        return problem(
            path,
            QCoreApplication::translate("MainWindow", "该文件烧录地址处于上一个文件烧录范围内"),
            false);
    }
    return {};
}

int loadWhole(Download &d, int n)
{
    return d.loadImageFile(d.filePath[n], n);
}

// Fills slot n with what `reader` read: each file is parsed once.
std::function<int(Download &, int)> copyImage(const HexFileReader &reader)
{
    return [&reader](Download &d, int n) {
        std::memcpy(d.imageData[n], reader.image(), size_t(reader.length));
        d.imageLength[n] = uint32_t(reader.length);
        return 0;
    };
}

LoadProblem loadHexFile(const JobFile &file, Download &d)
{
    HexFileReader reader;
    if (reader.readFile(file.path) == 0) {
        // The window takes the typed address; without one the file goes where its data begins.
        const uint32_t address = file.hasAddress ? file.address : reader.start;
        return appendImage(d, file.path, address, copyImage(reader));
    }
    QFile raw(file.path);
    const QVector<QByteArray> regions =
        raw.open(QIODevice::ReadOnly) ? splitHexRegions(raw.readAll()) : QVector<QByteArray>();
    if (regions.isEmpty())
        return problem(file.path, QCoreApplication::translate("MainWindow", "文件解析错误！"),
                       true);
    if (file.hasAddress)
        return problem(file.path,
                       QCoreApplication::translate("Job", "HEX文件包含多个区域，不能指定烧录地址"),
                       true);
    for (const QByteArray &text : regions) {
        HexFileReader regionReader;
        QBuffer buffer;
        buffer.setData(text);
        buffer.open(QIODevice::ReadOnly);
        if (regionReader.readDevice(buffer) != 0)
            return problem(file.path, QCoreApplication::translate("MainWindow", "文件解析错误！"),
                           true);
        const LoadProblem p =
            appendImage(d, file.path, regionReader.start, copyImage(regionReader));
        if (p.isProblem())
            return p;
    }
    return {};
}

} // namespace

QString optionsProblem(const JobSetup &setup)
{
    if (modelForIndex(setup.chipIndex) == 0)
        return QCoreApplication::translate("Job", "未知芯片型号");
    if (setup.eraseMode < FullErase || setup.eraseMode > AutoErase)
        return QCoreApplication::translate("Job", "未知擦除方式");
    if (setup.protectLevel < 0 || setup.protectLevel > 2)
        return QCoreApplication::translate("Job", "读保护等级必须是0、1或2");
    if (setup.rollingAddress % 4 != 0)
        return QString::fromUtf8(alignmentMessage);
    if (setup.watchdog != WatchdogKeep && setup.watchdog != WatchdogOn
        && setup.watchdog != WatchdogOff)
        return QCoreApplication::translate("Job", "未知看门狗选项");
    const bool subOptions =
        setup.offlineCount || setup.offlineAutoMs || setup.offlineMachine || setup.offlineForce;
    if (subOptions && !setup.offline)
        return QCoreApplication::translate("Job", "脱机选项需要打开脱机烧写功能");
    if (setup.offlineAutoMs
        && (setup.offlineAutoMs < offlineIntervalMin || setup.offlineAutoMs > offlineIntervalMax))
        return QStringLiteral("自动烧写间隔必须在300-3000毫秒之间");
    return QString();
}

void applyOptions(const JobSetup &setup, Download &d)
{
    d.chip->model = modelForIndex(setup.chipIndex);
    d.eraseMode = setup.eraseMode;
    d.programEnabled = setup.program ? 1 : 0;
    d.verifyEnabled = setup.verify ? 1 : 0;
    d.resetAndRun = setup.resetAndRun ? 1 : 0;
    d.readProtectLevel = setup.protectLevel;
    d.rollingCodeAddress = setup.rollingAddress;
    d.rollingCodeValue = setup.rollingAddress ? setup.rollingValue : 0;
    d.rollingCodeStep = setup.rollingAddress ? setup.rollingStep : 0;
    d.watchdogOption = setup.watchdog;
    // Without the offline switch the record keeps what a window that never confirmed the
    // offline dialog holds: every offline field 0.
    d.offline_flag = setup.offline ? 1 : 0;
    d.offlineMaxProgramCount_flag = setup.offline && setup.offlineCount ? 1 : 0;
    d.offlineMaxProgramCount = !setup.offline ? 0
        : setup.offlineCount                  ? setup.offlineCount
                                              : noCountLimit;
    d.offlineAutoProgramTime_flag = setup.offline && setup.offlineAutoMs ? 1 : 0;
    d.offlineAutoProgramTime = !setup.offline ? 0
        : setup.offlineAutoMs                 ? setup.offlineAutoMs
                                              : offlineIntervalDefault;
    d.offlineMachine_flag = setup.offline && setup.offlineMachine ? 1 : 0;
    d.offlineForceProgram_flag = setup.offline && setup.offlineForce ? 1 : 0;
}

LoadProblem loadFiles(const JobSetup &setup, Download &d)
{
    for (const JobFile &file : setup.files) {
        const QFileInfo info(file.path);
        if (!info.isFile() || !info.isReadable())
            return problem(file.path, QCoreApplication::translate("Job", "文件不存在或无法读取"),
                           true);
        LoadProblem p;
        if (isHex(file.path)) {
            p = loadHexFile(file, d);
        } else if (isBin(file.path)) {
            if (!file.hasAddress)
                return problem(
                    file.path,
                    QCoreApplication::translate("Job", "BIN文件需要烧录地址（文件@地址）"), true);
            p = appendImage(d, file.path, file.address, loadWhole);
        } else {
            return problem(file.path, QCoreApplication::translate("Job", "只支持HEX和BIN文件"),
                           true);
        }
        if (p.isProblem())
            return p;
    }
    return {};
}

bool fileFingerprint(const QString &path, qint64 &length, uint32_t &crc32)
{
    // Far above any HEX of a 4 MiB image; a larger file is no program file and is not slurped.
    constexpr qint64 largestProgramFile = 64 * 1024 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > largestProgramFile)
        return false;
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        return false;
    length = bytes.size();
    crc32 = calcCrc32(reinterpret_cast<const uint8_t *>(bytes.constData()), uint32_t(bytes.size()));
    return true;
}

} // namespace job
