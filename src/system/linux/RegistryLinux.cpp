// SPDX-License-Identifier: MIT
#include "system/Registry.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>

namespace wizard::sys {

// The value is text in the settings file: a decimal number from 0 to
// 4294967295. Written as binary (@ByteArray(...)), it reads as the registry's
// bytes do: little-endian, missing high bytes zero, and more than 4 bytes an
// unreadable value. Anything else reads as 0.
std::uint32_t readRegistryDword(const wchar_t* valueName)
{
    if (!valueName)
        return 0;
    const QSettings settings(
        QSettings::IniFormat, QSettings::SystemScope, QStringLiteral("Talvor Card Printer"));
    if (settings.status() != QSettings::NoError)
        return 0;
    const QVariant value = settings.value(QString::fromWCharArray(valueName));
    if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        if (bytes.size() > 4)
            return 0;
        std::uint32_t number = 0;
        for (qsizetype i = 0; i < bytes.size(); ++i)
            number |= std::uint32_t(static_cast<unsigned char>(bytes.at(i))) << (8 * i);
        return number;
    }
    bool ok = false;
    const uint number = value.toString().toUInt(&ok, 10);
    return ok ? number : 0;
}

} // namespace wizard::sys
