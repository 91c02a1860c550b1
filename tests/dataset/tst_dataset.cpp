// SPDX-License-Identifier: MIT
// The data set shipped with the wizard, as the built wizard finds it beside
// its executable: every text it asks for in every language, every picture at
// the size of its widget, every help page, a manual for every driver type,
// and a data file that names the shipped firmware and drivers.
#include "ShippedDataSet.h"

#include "foundation/IRessourceProvider.h"
#include "system/SystemQt.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

using namespace wizard;
using namespace wizard::test;

class tst_DataSet : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void dataFile();
    void firmware();
    void drivers();
    void texts_data();
    void texts();
    void pictures_data();
    void pictures();
    void helpPages_data();
    void helpPages();
    void manuals_data();
    void manuals();

private:
    QString dir;
    ParameterMap parameters;
};

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What is wrong with a shipped HTML page, or "" when nothing is: pages are
// plain (no script) and fetch nothing from elsewhere; every link is a local file.
QString pageFault(const QString& path, const QString& page)
{
    if (page.contains(QLatin1String("<script"), Qt::CaseInsensitive)
        || page.contains(QLatin1String("javascript:"), Qt::CaseInsensitive))
        return QStringLiteral("a script");
    static const QRegularExpression link(QStringLiteral("(?:href|src)=\"([^\"]*)\""));
    for (const QRegularExpressionMatch& match : link.globalMatch(page)) {
        const QString target = match.captured(1);
        if (!QUrl(target).isRelative() || target.startsWith(QLatin1String("//")))
            return QStringLiteral("a remote resource: ") + target;
        if (!QFileInfo::exists(QFileInfo(path).absolutePath() + "/" + target))
            return QStringLiteral("a missing file: ") + target;
    }
    return QString();
}

} // namespace

void tst_DataSet::initTestCase()
{
    dir = shipped::applicationDir();
    QVERIFY2(shipped::readDataFile(dir, &parameters), qPrintable(dir + "wzkavni.dat"));
}

void tst_DataSet::dataFile()
{
    // No printer is preset: the user chooses it.
    QVERIFY(!parameters.contains(QStringLiteral("PrnName")));
    QCOMPARE(parameters.value(QStringLiteral("NoSelectPrn")), QStringLiteral("0"));
    // Paths joined to the application directory by plain concatenation.
    for (const char* key : { "HTMLFilePath", "HTMLPath", "MessagePath", "ImagePath", "DrvTypePath" }) {
        const QString value = parameters.value(QLatin1String(key));
        QVERIFY2(
            !value.isEmpty() && !value.startsWith(QLatin1Char('/')) && !value.startsWith(QLatin1Char('\\')),
            key);
        if (qstrcmp(key, "MessagePath") != 0)
            QVERIFY2(QFileInfo::exists(dir + value), qPrintable(dir + value));
    }
    QVERIFY(parameters.value(QStringLiteral("MessagePath")).contains(QLatin1String("%1")));
    QVERIFY(QColor::isValidColorName(parameters.value(QStringLiteral("BannerFontColor"))));
    // Nothing the generator should have filled in is left over.
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        QVERIFY2(!it.value().contains(QLatin1Char('@')), qPrintable(it.key() + " = " + it.value()));
}

void tst_DataSet::firmware()
{
    // Opened exactly as written, from whatever folder the wizard was started in.
    const QString name = parameters.value(QStringLiteral("Firmware_Name"));
    QVERIFY2(QDir::isAbsolutePath(name), qPrintable(name));
    QVERIFY2(name.startsWith(dir), qPrintable(name));
    const QByteArray image = readAll(name);
    QVERIFY2(image.size() > 20 && image.startsWith("TFW1"), qPrintable(name));
    // The target is the version inside the image, reduced as the printer's
    // reply is: letters dropped, then the leading digits.
    QString version = QString::fromLatin1(image.mid(4, 16).constData()); // NUL-padded
    version.remove(QRegularExpression(QStringLiteral("[A-Za-z]")));
    QVERIFY(version.toInt() > 0);
    QCOMPARE(parameters.value(QStringLiteral("Firmware_Value")).toInt(), version.toInt());
    // The newer of the two sample images.
    QCOMPARE(QFileInfo(name).fileName(), QStringLiteral("F2300.tfw"));
}

void tst_DataSet::drivers()
{
    const QList<shipped::Driver> listed = shipped::drivers();
    QCOMPARE(listed.size(), 3);
    QCOMPARE(parameters.value(QStringLiteral("NbDriver")).toInt(), listed.size());
    const QString table = dir + parameters.value(QStringLiteral("DrvTypePath"));
    QSet<int> families;
    for (int n = 1; n <= listed.size(); ++n) {
        const shipped::Driver& driver = listed.at(n - 1);
        QCOMPARE(parameters.value(QStringLiteral("Driver_Name_%1").arg(n)), driver.name);
        QCOMPARE(parameters.value(QStringLiteral("Driver_Type_%1").arg(n)).toInt(), driver.family);
        QCOMPARE(lookupByPrinterType(driver.family, table, QString()), driver.type);
        families.insert(driver.family);
    }
    QCOMPARE(families.size(), listed.size());
    // Printers of no listed family (0: a preset printer whose driver is unknown) get the default.
    QCOMPARE(lookupByPrinterType(0, table, QString()), QStringLiteral("common"));
}

void tst_DataSet::texts_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("id");
    for (const QString& language : shipped::languages()) {
        for (const QString& id : shipped::textIds())
            QTest::addRow("%s %s", qPrintable(language), qPrintable(id)) << language << id;
    }
}

void tst_DataSet::texts()
{
    QFETCH(QString, language);
    QFETCH(QString, id);
    // The language's own file: an English fallback would hide a missing text.
    const ParameterMap texts = shipped::messageFile(dir, parameters, language);
    const QString text = texts.value(id);
    QVERIFY2(!text.trimmed().isEmpty(), qPrintable(language + " lacks text " + id));
    QVERIFY2(!text.contains(QLatin1Char('@')), qPrintable(text));
    if (shipped::buttonTextIds().contains(id))
        QVERIFY2(!text.contains(QLatin1Char('\n')), qPrintable(text));
    if (id == QLatin1String("50")) {
        // The desktop opens it from the caller's folder: an absolute path, one per driver type.
        QVERIFY2(QDir::isAbsolutePath(text) && text.startsWith(dir), qPrintable(text));
        QVERIFY(text.contains(QLatin1String("%ID_DRVTYPE%")));
    }
}

void tst_DataSet::pictures_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QSize>("size");
    for (const shipped::Picture& picture : shipped::pictures())
        QTest::addRow("%d", picture.number) << picture.number << picture.size;
}

void tst_DataSet::pictures()
{
    QFETCH(int, number);
    QFETCH(QSize, size);
    ParameterMap table;
    QVERIFY(readParameterFile(dir + parameters.value(QStringLiteral("ImagePath")), &table));
    // The window would fall back on the empty key; the shipped table names every picture itself.
    const QString file = table.value(QString::number(number));
    QVERIFY2(!file.isEmpty(), "not in the picture table");
    QVERIFY2(!QDir::isAbsolutePath(file), qPrintable(file));
    QImageReader reader(dir + file);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(dir + file + ": " + reader.errorString()));
    QCOMPARE(image.size(), size);
    // Its SVG source is kept beside it.
    QVERIFY2(QFileInfo::exists(QStringLiteral(KAVNI_SOURCE_DIR "/data/") + QFileInfo(file).path() + "/"
                 + QFileInfo(file).completeBaseName() + ".svg"),
        qPrintable(file));
}

void tst_DataSet::helpPages_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("key");
    for (const QString& language : shipped::languages()) {
        for (const QString& key : shipped::helpKeys())
            QTest::addRow("%s %s", qPrintable(language), qPrintable(key)) << language << key;
    }
}

void tst_DataSet::helpPages()
{
    QFETCH(QString, language);
    QFETCH(QString, key);
    auto provider = shipped::provider(dir, parameters, language);
    // Pages and events are looked up with family 0: the Common folder.
    const QString path
        = toForwardSlashes(provider->GetResource(IRessourceProvider::HelpPage, key, 0, QString()));
    QVERIFY2(!path.isEmpty(), "not in the help index");
    QVERIFY2(path.contains(QStringLiteral("/Common/") + language + "/"), qPrintable(path));
    const QString page = QString::fromUtf8(readAll(path));
    QVERIFY2(!page.isEmpty(), qPrintable(path + " missing or empty"));
    QVERIFY(page.contains(QStringLiteral("<html lang=\"") + language + "\""));
    QVERIFY(page.contains(QLatin1String("<meta charset=\"utf-8\">")));
    const QString fault = pageFault(path, page);
    QVERIFY2(fault.isEmpty(), qPrintable(path + " holds " + fault));
    // The buttons a page names are the buttons the user sees in that language.
    QStringList buttons;
    for (const QString& id : shipped::buttonTextIds())
        buttons << provider->GetResource(IRessourceProvider::Text, id, 0, QString());
    static const QRegularExpression button(QStringLiteral("<span class=\"button\">([^<]*)</span>"));
    for (const QRegularExpressionMatch& match : button.globalMatch(page))
        QVERIFY2(buttons.contains(match.captured(1)), qPrintable(match.captured(1) + " is no button"));
}

void tst_DataSet::manuals_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("family");
    for (const QString& language : shipped::languages()) {
        for (const shipped::Driver& driver : shipped::drivers())
            QTest::addRow("%s %s", qPrintable(language), qPrintable(driver.type))
                << language << driver.family;
        QTest::addRow("%s unknown family", qPrintable(language)) << language << 0;
    }
}

void tst_DataSet::manuals()
{
    QFETCH(QString, language);
    QFETCH(int, family);
    // The Help button's target, as the window forms it.
    auto provider = shipped::provider(dir, parameters, language);
    const QString type
        = lookupByPrinterType(family, dir + parameters.value(QStringLiteral("DrvTypePath")), QString());
    QVERIFY(!type.isEmpty());
    const QString target = sys::replaceDrvType(
        provider->GetResource(IRessourceProvider::Text, QStringLiteral("50"), 0, QString()), type);
    QVERIFY2(QFileInfo(target).isFile(), qPrintable(target));
    const QString page = QString::fromUtf8(readAll(target));
    QVERIFY(page.contains(QStringLiteral("<html lang=\"") + language + "\""));
    const QString fault = pageFault(target, page);
    QVERIFY2(fault.isEmpty(), qPrintable(target + " holds " + fault));
}

QTEST_MAIN(tst_DataSet)
#include "tst_dataset.moc"
