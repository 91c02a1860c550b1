// SPDX-License-Identifier: MIT
#include "ShippedDataSet.h"

#include <QFile>
#include <QRegularExpression>

namespace wizard::test::shipped {

QString applicationDir()
{
    return QStringLiteral(KAVNI_BIN_DIR "/");
}

QStringList languages()
{
    return { QStringLiteral("en"), QStringLiteral("fr"), QStringLiteral("es") };
}

QStringList textIds()
{
    QStringList ids;
    for (int id = 1; id <= 10; ++id)
        ids << QString::number(id);
    ids << QStringLiteral("20");
    for (int id = 30; id <= 36; ++id)
        ids << QString::number(id);
    for (int id = 40; id <= 44; ++id)
        ids << QString::number(id);
    ids << QStringLiteral("50");
    for (int id = 70; id <= 74; ++id)
        ids << QString::number(id);
    return ids;
}

QStringList buttonTextIds()
{
    return { "1", "2", "3", "4", "5", "9", "10", "31", "33", "35", "36" };
}

QStringList helpKeys()
{
    QStringList keys;
    for (int key = 1; key <= 9; ++key)
        keys << QString::number(key);
    return keys;
}

QList<Picture> pictures()
{
    return {
        { 1, { 640, 480 } }, // main window background
        { 2, { 630, 50 } }, // main window banner
        { 3, { 28, 28 } }, // step icon
        { 4, { 500, 250 } }, // event dialog background
        { 5, { 492, 42 } }, // event dialog banner
        { 6, { 30, 30 } }, // error
        { 7, { 30, 30 } }, // information
        { 8, { 30, 30 } }, // warning
        { 50, { 24, 24 } }, // refresh button
    };
}

QList<Driver> drivers()
{
    QList<Driver> list;
    QFile file(QStringLiteral(KAVNI_SOURCE_DIR "/data/drivers.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return list;
    static const QRegularExpression line(QStringLiteral("^\\s*(\\d+)\\s+(\\S+)\\s+(.*\\S)\\s*$"));
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(raw);
        if (text.trimmed().isEmpty() || text.trimmed().startsWith(QLatin1Char('#')))
            continue;
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            list.append({ match.captured(1).toInt(), match.captured(2), match.captured(3) });
    }
    return list;
}

bool readDataFile(const QString& dir, ParameterMap* parameters)
{
    return readParameterFile(dir + QStringLiteral("wzkavni.dat"), parameters);
}

std::unique_ptr<WizardRessourceProvider> provider(
    const QString& dir, const ParameterMap& parameters, const QString& language)
{
    auto made = std::make_unique<WizardRessourceProvider>(nullptr, QStringLiteral("en"), language,
        dir + parameters.value(QStringLiteral("MessagePath")),
        dir + parameters.value(QStringLiteral("HTMLPath")),
        dir + parameters.value(QStringLiteral("HTMLFilePath")));
    made->Initialize();
    return made;
}

ParameterMap messageFile(const QString& dir, const ParameterMap& parameters, const QString& language)
{
    ParameterMap texts;
    readParameterFile(dir + parameters.value(QStringLiteral("MessagePath")).arg(language), &texts);
    return texts;
}

} // namespace wizard::test::shipped
