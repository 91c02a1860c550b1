// SPDX-License-Identifier: MIT
#include "system/SystemLanguage.h"

#include <QLocale>
#include <QString>

namespace wizard::sys {

// The language of QLocale::system() (LC_ALL, LC_MESSAGES, LANG, LANGUAGE); the
// C and POSIX locales speak English.
int systemPrimaryLanguage()
{
    const QLocale::Language language = QLocale::system().language();
    if (language == QLocale::C)
        return primaryLanguageOfIsoCode("en");
    return primaryLanguageOfIsoCode(QLocale::languageToCode(language).toLatin1().constData());
}

} // namespace wizard::sys
