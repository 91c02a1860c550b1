// SPDX-License-Identifier: MIT
// The operating-system services under the foundation: the trace switch in the
// registry (its Linux settings file), the application directory and the
// system's language, each asked in a process of its own where the answer
// depends on how the process was started.
#include "system/ApplicationDirectory.h"
#include "system/Registry.h"
#include "system/SystemLanguage.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Answers = QMap<QString, QString>;

QString probePath()
{
    return QCoreApplication::applicationDirPath() + "/foundation_probe";
}

// Runs the probe and returns its "name=value" lines.
Answers runProbe(const QString& program, const QString& workingFolder, const QProcessEnvironment& environment)
{
    QProcess probe;
    probe.setProgram(program);
    probe.setWorkingDirectory(workingFolder);
    probe.setProcessEnvironment(environment);
    probe.start();
    if (!probe.waitForFinished(30000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        return { { "error", probe.errorString() + QString::fromLocal8Bit(probe.readAllStandardError()) } };
    Answers answers;
    for (const QByteArray& line : probe.readAllStandardOutput().split('\n')) {
        const int equals = line.indexOf('=');
        if (equals > 0)
            answers.insert(QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)));
    }
    return answers;
}

QProcessEnvironment environmentWith(const QStringList& settings)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& setting : settings) {
        const int equals = setting.indexOf('=');
        if (equals < 0)
            environment.remove(setting);
        else
            environment.insert(setting.left(equals), setting.mid(equals + 1));
    }
    return environment;
}

QString withSeparator(const QString& folder)
{
    return folder + QChar(char16_t(wizard::sys::pathSeparator));
}

} // namespace

class TestSystemServices : public QObject {
    Q_OBJECT
    QTemporaryDir scratch;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(scratch.isValid());
        QVERIFY2(QFileInfo(probePath()).isExecutable(), qPrintable(probePath()));
    }

    // --- Application directory -------------------------------------------------------------------

    void directoryOf_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("file in a folder") << "/opt/talvor/wizard"
                                          << "/opt/talvor/";
        QTest::newRow("file at the root") << "/wizard"
                                          << "/";
        QTest::newRow("no separator") << "wizard"
                                      << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("ends in the separator") << "/opt/talvor/"
                                               << "/opt/talvor/";
        QTest::newRow("backslashes are no separator here") << "C:\\App\\wizard.exe"
                                                           << "";
    }
    void directoryOf()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdWString(wizard::sys::directoryOf(path.toStdWString())), expected);
    }

    void applicationDirectoryInProcess()
    {
        const QString expected = withSeparator(QDir(QCoreApplication::applicationDirPath()).canonicalPath());
        QCOMPARE(QString::fromStdWString(wizard::sys::applicationDirectory()), expected);
    }

    void applicationDirectoryFromAnotherFolder_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("workingFolder");
        const QString bin = QFileInfo(probePath()).canonicalPath();
        QTest::newRow("absolute path, scratch folder") << probePath() << scratch.path();
        QTest::newRow("absolute path, root folder") << probePath() << "/";
        QTest::newRow("relative path from the parent")
            << QFileInfo(bin).fileName() + "/foundation_probe" << QFileInfo(bin).path();
        QTest::newRow("own folder") << "./foundation_probe" << bin;
    }
    void applicationDirectoryFromAnotherFolder()
    {
        QFETCH(QString, program);
        QFETCH(QString, workingFolder);
        const Answers answers = runProbe(program, workingFolder, QProcessEnvironment::systemEnvironment());
        QCOMPARE(answers.value("error"), QString());
        QCOMPARE(answers.value("application"), QString("0")); // asked before any application object
        QCOMPARE(answers.value("directory"), withSeparator(QFileInfo(probePath()).canonicalPath()));
    }

    void applicationDirectoryIsTheExecutablesOwn()
    {
        // A copy in a folder with spaces and accents, started through a link in yet another folder.
        const QString folder = scratch.filePath(QStringLiteral("Talvor \u00e9t\u00e9"));
        const QString linkFolder = scratch.filePath("links");
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(linkFolder));
        const QString copy = folder + "/foundation_probe";
        QVERIFY(QFile::copy(probePath(), copy));
        QVERIFY(QFile::link(copy, linkFolder + "/probe-link"));
        const Answers answers
            = runProbe(linkFolder + "/probe-link", linkFolder, QProcessEnvironment::systemEnvironment());
        QCOMPARE(answers.value("error"), QString());
        QCOMPARE(answers.value("directory"), withSeparator(QFileInfo(folder).canonicalFilePath()));
    }

    // --- Trace switch -------------------------------------------------------------------------------

    void registrySwitch_data()
    {
        QTest::addColumn<QByteArray>("settings"); // the settings file's content; empty: no file
        QTest::addColumn<QString>("expected");
        QTest::newRow("on") << QByteArray("[General]\nDRNWZKAVNI=1\n") << "1";
        QTest::newRow("on, any non-zero number") << QByteArray("[General]\nDRNWZKAVNI=7\n") << "7";
        QTest::newRow("off") << QByteArray("[General]\nDRNWZKAVNI=0\n") << "0";
        QTest::newRow("missing file") << QByteArray() << "0";
        QTest::newRow("missing value") << QByteArray("[General]\nOTHER=1\n") << "0";
        QTest::newRow("value in another group") << QByteArray("[Other]\nDRNWZKAVNI=1\n") << "0";
        QTest::newRow("largest") << QByteArray("[General]\nDRNWZKAVNI=4294967295\n") << "4294967295";
        QTest::newRow("spaces around") << QByteArray("[General]\nDRNWZKAVNI = 3 \n") << "3";
        QTest::newRow("empty value") << QByteArray("[General]\nDRNWZKAVNI=\n") << "0";
        QTest::newRow("garbage: word") << QByteArray("[General]\nDRNWZKAVNI=yes\n") << "0";
        QTest::newRow("garbage: trailing text") << QByteArray("[General]\nDRNWZKAVNI=12abc\n") << "0";
        QTest::newRow("garbage: negative") << QByteArray("[General]\nDRNWZKAVNI=-1\n") << "0";
        QTest::newRow("garbage: past 32 bits") << QByteArray("[General]\nDRNWZKAVNI=4294967296\n") << "0";
        QTest::newRow("garbage: list") << QByteArray("[General]\nDRNWZKAVNI=1, 2\n") << "0";
        QTest::newRow("garbage: not a settings file") << QByteArray("\x01\xff[[[\n=\0", 8) << "0";
        QTest::newRow("short: one byte") << QByteArray("[General]\nDRNWZKAVNI=@ByteArray(\\x1)\n") << "1";
        QTest::newRow("short: two bytes, little-endian")
            << QByteArray("[General]\nDRNWZKAVNI=@ByteArray(\\0\\x1)\n") << "256";
        QTest::newRow("short: zero byte") << QByteArray("[General]\nDRNWZKAVNI=@ByteArray(\\0)\n") << "0";
        QTest::newRow("short: no bytes") << QByteArray("[General]\nDRNWZKAVNI=@ByteArray()\n") << "0";
        QTest::newRow("four bytes") << QByteArray("[General]\nDRNWZKAVNI=@ByteArray(\\x1\\0\\0\\x80)\n")
                                    << "2147483649";
        QTest::newRow("longer than four bytes")
            << QByteArray("[General]\nDRNWZKAVNI=@ByteArray(\\x1\\0\\0\\0\\0)\n") << "0";
    }
    void registrySwitch()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, expected);
        QTemporaryDir config;
        if (!settings.isEmpty()) {
            QFile file(config.filePath("Talvor Card Printer.ini"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(settings);
        }
        const Answers answers
            = runProbe(probePath(), scratch.path(), environmentWith({ "XDG_CONFIG_DIRS=" + config.path() }));
        QCOMPARE(answers.value("error"), QString());
        QCOMPARE(answers.value("registry"), expected);
    }

    void registrySwitchInALaterConfigFolder()
    {
        QTemporaryDir empty;
        QTemporaryDir config;
        QFile file(config.filePath("Talvor Card Printer.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\nDRNWZKAVNI=1\n");
        file.close();
        const Answers answers = runProbe(probePath(), scratch.path(),
            environmentWith({ "XDG_CONFIG_DIRS=" + empty.path() + ":" + config.path() }));
        QCOMPARE(answers.value("registry"), QString("1"));
    }

    void registryNullName() { QCOMPARE(wizard::sys::readRegistryDword(nullptr), 0u); }

    // --- System language ---------------------------------------------------------------------------

    void systemLanguage_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<int>("primaryLanguage");
        QTest::addColumn<QString>("code");
        const QStringList clean { "LC_ALL", "LC_MESSAGES", "LANGUAGE" };
        QTest::newRow("French") << clean + QStringList { "LANG=fr_FR.UTF-8" } << 12 << "fr";
        QTest::newRow("French, Canada") << clean + QStringList { "LANG=fr_CA.UTF-8" } << 12 << "fr";
        QTest::newRow("French, Switzerland") << clean + QStringList { "LANG=fr_CH" } << 12 << "fr";
        QTest::newRow("Spanish") << clean + QStringList { "LANG=es_ES.UTF-8" } << 10 << "es";
        QTest::newRow("Spanish, Mexico") << clean + QStringList { "LANG=es_MX.UTF-8" } << 10 << "es";
        QTest::newRow("German") << clean + QStringList { "LANG=de_DE.UTF-8" } << 7 << "en";
        QTest::newRow("English") << clean + QStringList { "LANG=en_GB.UTF-8" } << 9 << "en";
        QTest::newRow("C locale") << clean + QStringList { "LANG=C" } << 9 << "en";
        QTest::newRow("no locale at all") << clean + QStringList { "LANG" } << 9 << "en";
        QTest::newRow("Catalan") << clean + QStringList { "LANG=ca_ES.UTF-8" } << 3 << "en";
        QTest::newRow("Basque") << clean + QStringList { "LANG=eu_ES.UTF-8" } << 0x2d << "en";
        QTest::newRow("Galician") << clean + QStringList { "LANG=gl_ES.UTF-8" } << 0x56 << "en";
        QTest::newRow("Occitan") << clean + QStringList { "LANG=oc_FR.UTF-8" } << 0x82 << "en";
        QTest::newRow("Breton") << clean + QStringList { "LANG=br_FR.UTF-8" } << 0x7e << "en";
        QTest::newRow("LC_ALL beats LANG") << QStringList { "LC_MESSAGES", "LANGUAGE", "LANG=de_DE.UTF-8",
            "LC_ALL=fr_BE.UTF-8" } << 12 << "fr";
    }
    void systemLanguage()
    {
        QFETCH(QStringList, environment);
        QFETCH(int, primaryLanguage);
        QFETCH(QString, code);
        const Answers answers = runProbe(probePath(), scratch.path(), environmentWith(environment));
        QCOMPARE(answers.value("error"), QString());
        QCOMPARE(answers.value("language").toInt(), primaryLanguage);
        QCOMPARE(answers.value("code"), code);
    }

    void onlyFrenchAndSpanishHaveTheirNumbers()
    {
        for (int value = QLocale::AnyLanguage + 1; value <= QLocale::LastLanguage; ++value) {
            const auto language = static_cast<QLocale::Language>(value);
            const QString iso = QLocale::languageToCode(language);
            if (iso.isEmpty() || language == QLocale::C)
                continue;
            const int primary = wizard::sys::primaryLanguageOfIsoCode(iso.toLatin1().constData());
            QVERIFY2((primary == 12) == (iso == "fr"), qPrintable(iso));
            QVERIFY2((primary == 10) == (iso == "es"), qPrintable(iso));
            QVERIFY2(primary >= 0 && primary <= 0x3ff, qPrintable(iso));
        }
        QCOMPARE(wizard::sys::primaryLanguageOfIsoCode(nullptr), 0);
        QCOMPARE(wizard::sys::primaryLanguageOfIsoCode("xx"), 0);
    }

    void wizardLanguageCode_data()
    {
        QTest::addColumn<int>("primaryLanguage");
        QTest::addColumn<QString>("code");
        QTest::newRow("Spanish") << 10 << "es";
        QTest::newRow("French") << 12 << "fr";
        QTest::newRow("English") << 9 << "en";
        QTest::newRow("German") << 7 << "en";
        QTest::newRow("neutral") << 0 << "en";
        QTest::newRow("Occitan") << 0x82 << "en";
    }
    void wizardLanguageCode()
    {
        QFETCH(int, primaryLanguage);
        QFETCH(QString, code);
        QCOMPARE(QString::fromLatin1(wizard::sys::wizardLanguageCode(primaryLanguage)), code);
    }
};

QTEST_GUILESS_MAIN(TestSystemServices)
#include "tst_systemservices.moc"
