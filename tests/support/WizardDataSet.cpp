// SPDX-License-Identifier: MIT
#include "WizardDataSet.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

#include <unistd.h>

namespace wizard::test {

namespace {

QByteArray escaped(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

// Every text the window, the pages and the event dialog ask for.
const char* const englishTexts[][2] = {
    { "1", "Next" },
    { "2", "Previous" },
    { "3", "Abort" },
    { "4", "Help" },
    { "5", "Finish" },
    { "6", "Card printer setup" },
    { "7", "Card Printer Setup" },
    { "8", "Do you want to stop the setup? The printer will be handed back." },
    { "9", "Yes" },
    { "10", "No" },
    { "20", "Working with the printer. This can take a minute." },
    { "21", "Taking the printer over" },
    { "22", "Reading the firmware version" },
    { "23", "Waiting for the tool to stop: %1 s" },
    { "24", "Sending the firmware" },
    { "25", "The printer restarts: %1 s left" },
    { "26", "Checking the cover and ribbon" },
    { "27", "Adjusting the printer" },
    { "28", "Handing the printer back" },
    { "30", "Error" },
    { "31", "Close" },
    { "32", "Warning" },
    { "33", "Close" },
    { "34", "Information" },
    { "35", "Continue" },
    { "36", "Return" },
    { "40", "Choose the card printer to prepare" },
    { "41", "Card printers installed on this computer:" },
    { "42", "(choose a printer)" },
    { "43", "The printer is taken over while the wizard works on it." },
    { "44", "List the printers again" },
    { "50", "" },
    { "70", "Printer" },
    { "71", "Firmware update" },
    { "72", "Firmware updated" },
    { "73", "Adjustment" },
    { "74", "Finished" },
    { "80", "Steps" },
    { "81", "Step %1 of %2: %3" },
    { "83", "Opens the manual" },
    { "84", "Stops the setup" },
};

} // namespace

WizardDataSet::WizardDataSet()
{
    parameters = {
        { QStringLiteral("HTMLFilePath"), QStringLiteral("help/index.xml") },
        { QStringLiteral("HTMLPath"), QStringLiteral("help") },
        { QStringLiteral("MessagePath"), QStringLiteral("messages/messages_%1.xml") },
        { QStringLiteral("ImagePath"), QStringLiteral("images/images.xml") },
        { QStringLiteral("DrvTypePath"), QStringLiteral("tables/drvtype.xml") },
        { QStringLiteral("BannerFontColor"), QStringLiteral("#16325c") },
        { QStringLiteral("Firmware_Name"), QStringLiteral("firmware.tfw") },
        { QStringLiteral("Firmware_Value"), QStringLiteral("2300") },
        { QStringLiteral("NoSelectPrn"), QStringLiteral("0") },
    };
    setDrivers({ { QStringLiteral("Talvor K1"), 1 }, { QStringLiteral("Talvor K3"), 3 } });
    for (const auto& entry : englishTexts)
        texts[QString::fromLatin1(entry[0])] = QString::fromUtf8(entry[1]);
    texts[QStringLiteral("50")] = applicationDir() + QStringLiteral("manual/%ID_DRVTYPE%.html");
}

QString WizardDataSet::applicationDir() const
{
    return folder.path() + QLatin1Char('/');
}

QString WizardDataSet::path(const QString& relative) const
{
    return applicationDir() + relative;
}

void WizardDataSet::setDrivers(const QMap<QString, int>& drivers)
{
    for (auto it = parameters.begin(); it != parameters.end();) {
        if (it.key().startsWith(QLatin1String("Driver_")))
            it = parameters.erase(it);
        else
            ++it;
    }
    int n = 0;
    for (auto it = drivers.cbegin(); it != drivers.cend(); ++it) {
        ++n;
        parameters[QStringLiteral("Driver_Name_%1").arg(n)] = it.key();
        parameters[QStringLiteral("Driver_Type_%1").arg(n)] = QString::number(it.value());
    }
    parameters[QStringLiteral("NbDriver")] = QString::number(n);
}

QString WizardDataSet::helpFileName(const QString& key)
{
    return QStringLiteral("page%1.html").arg(key);
}

bool WizardDataSet::writeFile(const QString& relative, const QByteArray& content)
{
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

bool WizardDataSet::writeTable(
    const QString& relative, const char* root, const QMap<QString, QString>& entries)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + QByteArray(root) + ">\n";
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        xml += "  <Data name=\"" + escaped(it.key()) + "\"><Value>" + escaped(it.value())
            + "</Value></Data>\n";
    xml += "</" + QByteArray(root) + ">\n";
    return writeFile(relative, xml);
}

bool WizardDataSet::writeDataFile()
{
    return writeTable(QStringLiteral("wzkavni.dat"), "Parameters", parameters);
}

bool WizardDataSet::writePictures()
{
    struct Picture {
        int number;
        const char* file;
        int width;
        int height;
        QColor colour;
    };
    const Picture pictures[] = {
        { 1, "background.png", 640, 480, QColor(0xf4, 0xf6, 0xfa) },
        { 2, "banner.png", 630, 50, QColor(0xd6, 0xe2, 0xf3) },
        { 3, "step.png", 28, 28, QColor(0x3a, 0x6e, 0xb5) },
        { 4, "dialog.png", 500, 250, QColor(0xf4, 0xf6, 0xfa) },
        { 5, "dialog-banner.png", 492, 42, QColor(0xd6, 0xe2, 0xf3) },
        { 6, "error.png", 30, 30, QColor(0xc0, 0x39, 0x2b) },
        { 7, "information.png", 30, 30, QColor(0x2e, 0x86, 0xc1) },
        { 8, "warning.png", 30, 30, QColor(0xe6, 0x9f, 0x00) },
        { 50, "refresh.png", 24, 24, QColor(0x3a, 0x6e, 0xb5) },
    };
    QMap<QString, QString> table;
    for (const Picture& picture : pictures) {
        QImage image(picture.width, picture.height, QImage::Format_ARGB32);
        image.fill(picture.colour);
        const QString relative = QStringLiteral("images/") + QLatin1String(picture.file);
        QDir().mkpath(path(QStringLiteral("images")));
        if (!image.save(path(relative), "PNG"))
            return false;
        table[QString::number(picture.number)] = relative;
    }
    return writeTable(QStringLiteral("images/images.xml"), "Images", table);
}

bool WizardDataSet::writeHelpPages()
{
    QMap<QString, QString> index;
    for (int key = 1; key <= 9; ++key) {
        const QString name = helpFileName(QString::number(key));
        index[QString::number(key)] = name;
        const QByteArray page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Help page "
            + QByteArray::number(key)
            + "</title><style>"
              "html,body{margin:0;background:transparent;font-family:sans-serif;font-size:13px}"
              "</style></head><body><p id=\"key\">Help page "
            + QByteArray::number(key) + "</p></body></html>\n";
        if (!writeFile(QStringLiteral("help/Common/en/") + name, page))
            return false;
    }
    return writeTable(QStringLiteral("help/index.xml"), "HelpIndex", index);
}

bool WizardDataSet::write()
{
    return writeDataFile() && writeTable(QStringLiteral("messages/messages_en.xml"), "Messages", texts)
        && writeTable(QStringLiteral("tables/drvtype.xml"), "DriverTypes",
            { { QStringLiteral("1"), QStringLiteral("k1") }, { QStringLiteral("3"), QStringLiteral("k3") },
                { QString(), QStringLiteral("common") } })
        && writePictures() && writeHelpPages();
}

QString WizardDataSet::installExecutable(const QString& builtExecutable)
{
    const QString target = path(QFileInfo(builtExecutable).fileName());
    QFile::remove(target);
    // A hard link keeps the path it was started by, so the wizard finds this folder.
    if (::link(QFile::encodeName(builtExecutable).constData(), QFile::encodeName(target).constData()) != 0
        && !QFile::copy(builtExecutable, target))
        return QString();
    const QString tool = QFileInfo(builtExecutable).absolutePath() + QStringLiteral("/x64/Ruvelk.exe");
    for (const char* sub : { "x32", "x64" }) {
        QDir().mkpath(path(QLatin1String(sub)));
        const QString toolTarget = path(QLatin1String(sub) + QStringLiteral("/Ruvelk.exe"));
        QFile::remove(toolTarget);
        if (::link(QFile::encodeName(tool).constData(), QFile::encodeName(toolTarget).constData()) != 0)
            QFile::copy(tool, toolTarget);
    }
    return target;
}

} // namespace wizard::test
