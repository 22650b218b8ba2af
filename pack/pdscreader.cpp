// A pack's description read into devices, and the algorithm files loaded when a job uses them.
#include "pdscreader.h"

#include "flmdescriptor.h"
#include "jobalgorithms.h"
#include "pdscparser.h"
#include "swd/flash/elfimage.h"

#include <QCoreApplication>
#include <QSet>

namespace pack {

namespace {

QString algorithmProblem(const QString &file, const FlashAlgorithmRef &a, const QString &why)
{
    return QCoreApplication::translate("Pack", "%1 第%2行 <%3>：%4")
        .arg(file, QString::number(a.line), QStringLiteral("algorithm"), why);
}

// Reads one algorithm's file and the facts the host plans with; the reason, naming the file,
// when it cannot be used.
bool loadOne(const PackSource &source, const PackLimits &limits, FlashAlgorithmRef &a, QString &why)
{
    auto refuse = [&](const QString &reason) {
        why = QCoreApplication::translate("Pack", "%1：%2").arg(a.path, reason);
        return false;
    };
    if (!runnableStyle(a))
        return refuse(QCoreApplication::translate("Pack", "%1格式的算法无法运行").arg(a.style));
    if (!source.contains(a.path))
        return refuse(QCoreApplication::translate("Pack", "文件不在包中"));
    if (!source.read(a.path, limits.maxAlgorithmBytes, a.image, why))
        return false; // names the file already
    FlmDescriptor descriptor;
    QString error;
    if (!readFlmDescriptor(a.image, descriptor, error))
        return refuse(QCoreApplication::translate("Pack", "不是有效的烧写算法：%1").arg(error));
    std::string elfError;
    const std::optional<ElfImage> elf =
        ElfImage::parse(std::vector<uint8_t>(a.image.begin(), a.image.end()), elfError);
    if (!elf || !elf->symbol("ProgramPage"))
        return refuse(QCoreApplication::translate("Pack", "算法没有ProgramPage函数"));
    a.hasEraseChip = elf->symbol("EraseChip") != nullptr;
    a.erasedValue = descriptor.erasedValue;
    a.deviceSize = descriptor.deviceSize;
    return true;
}

} // namespace

bool parseDescription(const QByteArray &xml, const QString &fileName, PackContents &out,
                      QString &error)
{
    return detail::Parser(xml, fileName).run(out, error);
}

bool readPack(const QString &path, const PackLimits &limits, PackContents &out, QString &error)
{
    std::unique_ptr<PackSource> source = PackSource::open(path, limits, error);
    if (!source)
        return false;
    const QString description = source->descriptionName(error);
    if (description.isEmpty())
        return false;
    QByteArray xml;
    if (!source->read(description, limits.maxDescriptionBytes, xml, error))
        return false;
    out.path = path;
    out.descriptionFile = description;
    return parseDescription(xml, description, out, error);
}

bool loadAlgorithms(TargetDescription &device, const PackLimits &limits, QString &error)
{
    std::unique_ptr<PackSource> source = PackSource::open(device.packPath, limits, error);
    if (!source)
        return false;
    std::optional<uint8_t> common;
    bool agree = true;
    for (FlashAlgorithmRef &a : device.algorithms) {
        QString why;
        if (!loadOne(*source, limits, a, why)) {
            error = algorithmProblem(device.descriptionFile, a, why);
            return false;
        }
        if (common && *common != *a.erasedValue)
            agree = false;
        common = a.erasedValue;
    }
    if (agree && common)
        device.erasedValue = common;
    return true;
}

QStringList checkAlgorithms(const PackContents &contents, const PackLimits &limits)
{
    QString error;
    std::unique_ptr<PackSource> source = PackSource::open(contents.path, limits, error);
    if (!source)
        return {error};
    QStringList problems;
    QSet<QString> seen;
    for (const TargetDescription &d : contents.devices) {
        for (FlashAlgorithmRef a : d.algorithms) {
            const QString key = a.path.toLower() + QLatin1Char('\n') + a.style;
            if (seen.contains(key))
                continue;
            seen.insert(key);
            QString why;
            if (!loadOne(*source, limits, a, why))
                problems << algorithmProblem(contents.descriptionFile, a, why);
        }
    }
    return problems;
}

} // namespace pack
