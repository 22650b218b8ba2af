// Result texts of recorded runs, from the same tables the window and the CLI show at the end of a
// run, so a record reads alike whoever wrote it.
#include "resulttext.h"

#include "job/messages.h"

#include <QCoreApplication>

namespace {

// The CLI's exit status of a run over SWD is 40 + its SWD code.
constexpr int swdStatusBase = 40;

const char *const swdTexts[] = {
    QT_TRANSLATE_NOOP("ProductionReport", "成功"),
    QT_TRANSLATE_NOOP("ProductionReport", "烧录器断开或无法读写"),
    QT_TRANSLATE_NOOP("ProductionReport", "烧录器应答超时"),
    QT_TRANSLATE_NOOP("ProductionReport", "烧录器应答错误"),
    QT_TRANSLATE_NOOP("ProductionReport", "烧录器不支持SWD"),
    QT_TRANSLATE_NOOP("ProductionReport", "没有SWD目标应答"),
    QT_TRANSLATE_NOOP("ProductionReport", "目标一直应答WAIT"),
    QT_TRANSLATE_NOOP("ProductionReport", "目标应答FAULT"),
    QT_TRANSLATE_NOOP("ProductionReport", "SWD协议错误"),
    QT_TRANSLATE_NOOP("ProductionReport", "内核未能及时停止"),
    QT_TRANSLATE_NOOP("ProductionReport", "缺少烧录算法文件"),
    QT_TRANSLATE_NOOP("ProductionReport", "烧录算法文件不可用"),
    QT_TRANSLATE_NOOP("ProductionReport", "烧录算法执行失败"),
    QT_TRANSLATE_NOOP("ProductionReport", "映像超出FLASH或没有映像"),
    QT_TRANSLATE_NOOP("ProductionReport", "校验不一致"),
    QT_TRANSLATE_NOOP("ProductionReport", "烧录成功，自检失败"),
};

// After SwdVerifyMismatch: programmed and verified, but the board's own check over RTT failed.
// Not an SWD fault, so its text stands alone, as the operator's status shows it.
constexpr int selfTestFailed = 15;

QString swdText(int result)
{
    const int code = result == 0 ? 0 : result - swdStatusBase;
    if (code < 0 || code >= int(sizeof swdTexts / sizeof *swdTexts))
        return QCoreApplication::translate("ProductionReport", "SWD错误%1").arg(result);
    if (code == 0 || code == selfTestFailed)
        return QCoreApplication::translate("ProductionReport", swdTexts[code]);
    return QCoreApplication::translate("ProductionReport", "SWD错误%1：%2")
        .arg(QString::number(code),
             QCoreApplication::translate("ProductionReport", swdTexts[code]));
}

} // namespace

QString recordedResultText(const QString &status, int result, const QString &via,
                           const QString &storedMessage)
{
    // Whatever code an interrupted run carried, it did not end: its code is not its outcome.
    if (status == QLatin1String("interrupted"))
        return QCoreApplication::translate("ProductionReport", "中断");
    if (result < 0)
        return storedMessage;
    if (via == QLatin1String("swd"))
        return swdText(result);
    return job::plainText(job::runResultMessage(result));
}
