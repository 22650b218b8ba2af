// `probes`: every connected probe, one line each, with the window's firmware gate; CMSIS-DAP probes
// of other makes follow with what they can do.
#include "command.h"
#include "exitcodes.h"
#include "probesession.h"

#include <QCoreApplication>
#include <QJsonArray>

namespace cli {

int runProbes(const QStringList &arguments)
{
    Command c("probes", QCoreApplication::translate("QuorvelCli", "列出连接的烧录器。"));
    const int parsed = c.parse(arguments, false);
    if (parsed >= 0)
        return parsed;

    QJsonArray list;
    QStringList lines;
    listAllProbes(list, lines);
    c.report().insert("probes", list);
    if (list.isEmpty())
        return c.fail(1, QCoreApplication::translate("QuorvelCli", "未找到烧录器"));
    return c.finish(ExitOk, lines.join('\n'));
}

} // namespace cli
