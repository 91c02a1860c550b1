// SPDX-License-Identifier: MIT
// Prints what the operating-system services answer in a process of its own, so
// that tests can start it from another folder or with another environment.
// Nothing of Qt is created before the services are asked.
#include "system/ApplicationDirectory.h"
#include "system/Registry.h"
#include "system/SystemLanguage.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>

int main()
{
    const bool applicationBefore = QCoreApplication::instance() != nullptr;
    const std::wstring directory = wizard::sys::applicationDirectory();
    const std::uint32_t trace = wizard::sys::readRegistryDword(L"DRNWZKAVNI");
    const int language = wizard::sys::systemPrimaryLanguage();
    std::printf("application=%d\ndirectory=%s\nregistry=%u\nlanguage=%d\ncode=%s\n",
        applicationBefore ? 1 : 0, QString::fromStdWString(directory).toUtf8().constData(),
        static_cast<unsigned>(trace), language, wizard::sys::wizardLanguageCode(language));
    return 0;
}
