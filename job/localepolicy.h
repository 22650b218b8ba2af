// Which locales get the English translation, and where its file lives.
#pragma once

#include <QString>

// True for every locale name outside the Chinese list (compared exactly, case-sensitive).
bool needsEnglishTranslation(const QString &localeName);
// "Quorvel_EN.qm" beside the executable.
QString englishTranslationPath();
