// Locale test of the start-up sequence, kept apart so that tests can run it.
#include "job/localepolicy.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

bool needsEnglishTranslation(const QString &localeName)
{
    static const QStringList chinese = {"zh_CN", "zh_HK", "zh_TW", "zh_MO", "zh_CHS"};
    return !chinese.contains(localeName, Qt::CaseSensitive);
}

QString englishTranslationPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath("Quorvel_EN.qm");
}
