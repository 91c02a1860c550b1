// SPDX-License-Identifier: MIT
// The wizard installed with cmake --install into a folder of its own: the
// tree beside the executable, data files that name that folder (never the
// build tree), a desktop entry, and the installed wizard started from another
// folder finding its data and building its window.
#include "foundation/ParameterFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace wizard;

namespace {

// Runs cmake --install of this build tree; "" on success, else what it said.
QString install(const QString& prefix, const QString& destDir = QString())
{
    QProcess cmake;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DESTDIR"));
    if (!destDir.isEmpty())
        environment.insert(QStringLiteral("DESTDIR"), destDir);
    cmake.setProcessEnvironment(environment);
    cmake.setProcessChannelMode(QProcess::MergedChannels);
    cmake.start(QStringLiteral(KAVNI_CMAKE_COMMAND),
        { QStringLiteral("--install"), QStringLiteral(KAVNI_BUILD_DIR), QStringLiteral("--prefix"), prefix });
    if (!cmake.waitForFinished(120000)) {
        cmake.kill();
        cmake.waitForFinished();
        return QStringLiteral("cmake --install did not end");
    }
    const QString output = QString::fromLocal8Bit(cmake.readAll());
    return cmake.exitStatus() == QProcess::NormalExit && cmake.exitCode() == 0 ? QString() : output;
}

} // namespace

class tst_Install : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void tree_data();
    void tree();
    void dataNamesTheInstalledFolder();
    void nothingNamesTheBuildTree();
    void desktopEntry();
    void stagedInstallNamesThePrefix();
    void installedWizardStartsFromAnotherFolder();

private:
    QTemporaryDir prefix;
    QString root; // the prefix, with a trailing slash
};

void tst_Install::initTestCase()
{
    QVERIFY(prefix.isValid());
    // A space in the folder: every path the data names must stay one path.
    root = prefix.path() + QStringLiteral("/Talvor Wizard/");
    const QString failure = install(root.chopped(1));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void tst_Install::tree_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("executable");
    QTest::newRow("wizard") << "kavni-wizard" << true;
    QTest::newRow("tool, 64 bits") << "x64/Ruvelk.exe" << true;
    QTest::newRow("tool, 32 bits") << "x32/Ruvelk.exe" << true;
    QTest::newRow("device library") << "libdurvo.so" << false;
    QTest::newRow("data file") << "wzkavni.dat" << false;
    QTest::newRow("firmware") << "firmware/F2300.tfw" << false;
    for (const char* language : { "en", "fr", "es" })
        QTest::addRow("messages %s", language)
            << QStringLiteral("messages/messages_%1.xml").arg(language) << false;
    QTest::newRow("help index") << "help/index.xml" << false;
    QTest::newRow("help page") << "help/Common/fr/error-communication.html" << false;
    QTest::newRow("picture table") << "images/images.xml" << false;
    QTest::newRow("picture") << "images/background.png" << false;
    QTest::newRow("driver types") << "tables/drvtype.xml" << false;
    QTest::newRow("manual") << "manual/common/index.en.html" << false;
    QTest::newRow("desktop entry") << "share/applications/talvor-kavni-wizard.desktop" << false;
    QTest::newRow("icon") << "share/icons/hicolor/64x64/apps/talvor-kavni-wizard.png" << false;
}

void tst_Install::tree()
{
    QFETCH(QString, file);
    QFETCH(bool, executable);
    const QFileInfo info(root + file);
    QVERIFY2(info.isFile(), qPrintable(info.filePath()));
    QCOMPARE(info.isExecutable(), executable);
}

void tst_Install::dataNamesTheInstalledFolder()
{
    ParameterMap parameters;
    QVERIFY(readParameterFile(root + QStringLiteral("wzkavni.dat"), &parameters));
    const QString firmware = parameters.value(QStringLiteral("Firmware_Name"));
    QCOMPARE(firmware, root + QStringLiteral("firmware/F2300.tfw"));
    QVERIFY(QFileInfo(firmware).isFile());
    for (const char* language : { "en", "fr", "es" }) {
        ParameterMap texts;
        QVERIFY(readParameterFile(root + QStringLiteral("messages/messages_%1.xml").arg(language), &texts));
        const QString help = texts.value(QStringLiteral("50"));
        QVERIFY2(help.startsWith(root + QStringLiteral("manual/")), qPrintable(help));
        QVERIFY(QFileInfo(QString(help).replace(QLatin1String("%ID_DRVTYPE%"), QLatin1String("common")))
                    .isFile());
    }
}

void tst_Install::nothingNamesTheBuildTree()
{
    QDirIterator files(root, QDir::Files, QDirIterator::Subdirectories);
    int read = 0;
    while (files.hasNext()) {
        const QString path = files.next();
        if (!path.contains(QRegularExpression(QStringLiteral("\\.(xml|dat|html|css|desktop)$"))))
            continue;
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(!file.readAll().contains(KAVNI_BUILD_DIR), qPrintable(path));
        ++read;
    }
    QVERIFY(read > 20);
}

void tst_Install::desktopEntry()
{
    QFile file(root + QStringLiteral("share/applications/talvor-kavni-wizard.desktop"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(file.readAll());
    QVERIFY(entry.startsWith(QLatin1String("[Desktop Entry]\n")));
    QVERIFY(entry.contains(QLatin1String("\nType=Application\n")));
    // The command quoted, as the folder holds a space.
    QVERIFY2(entry.contains(QStringLiteral("\nExec=\"") + root + QStringLiteral("kavni-wizard\"\n")),
        qPrintable(entry));
    const QRegularExpressionMatch icon = QRegularExpression(QStringLiteral("\nIcon=([^\n]*)\n")).match(entry);
    QVERIFY(icon.hasMatch());
    QVERIFY2(QFileInfo(icon.captured(1)).isFile(), qPrintable(icon.captured(1)));
}

void tst_Install::stagedInstallNamesThePrefix()
{
    // A package build: files go below DESTDIR, the data names the final prefix.
    QTemporaryDir stage;
    const QString failure = install(QStringLiteral("/opt/talvor/kavni-wizard"), stage.path());
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QString staged = stage.path() + QStringLiteral("/opt/talvor/kavni-wizard/");
    QVERIFY(QFileInfo(staged + QStringLiteral("kavni-wizard")).isExecutable());
    ParameterMap parameters;
    QVERIFY(readParameterFile(staged + QStringLiteral("wzkavni.dat"), &parameters));
    QCOMPARE(parameters.value(QStringLiteral("Firmware_Name")),
        QStringLiteral("/opt/talvor/kavni-wizard/firmware/F2300.tfw"));
    QFile entry(staged + QStringLiteral("share/applications/talvor-kavni-wizard.desktop"));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    QVERIFY(entry.readAll().contains("\nExec=\"/opt/talvor/kavni-wizard/kavni-wizard\"\n"));
}

void tst_Install::installedWizardStartsFromAnotherFolder()
{
    QTemporaryDir config;
    QTemporaryDir elsewhere;
    QFile switchFile(config.filePath(QStringLiteral("Talvor Card Printer.ini")));
    QVERIFY(switchFile.open(QIODevice::WriteOnly));
    switchFile.write("[General]\nDRNWZKAVNI=1\n");
    switchFile.close();
    const QString tracePath = config.filePath(QStringLiteral("trace.log"));

    QProcess wizard;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), config.path());
    environment.insert(QStringLiteral("KAVNI_TRACE_FILE"), tracePath);
    environment.insert(QStringLiteral("CUPS_SERVER"), config.filePath(QStringLiteral("no-cups.sock")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    wizard.setProcessEnvironment(environment);
    wizard.setWorkingDirectory(elsewhere.path());
    wizard.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    wizard.start(root + QStringLiteral("kavni-wizard"), { QStringLiteral("prnname=X") });
    QVERIFY(wizard.waitForStarted());
    // The last page is created only once the window was built from the installed data.
    auto traced = [&tracePath] {
        QFile trace(tracePath);
        return trace.open(QIODevice::ReadOnly) && trace.readAll().contains("NEW Page4");
    };
    QTRY_VERIFY_WITH_TIMEOUT(traced(), 30000);
    QVERIFY2(!wizard.waitForFinished(500), "the wizard ended by itself");
    wizard.kill();
    QVERIFY(wizard.waitForFinished(10000));
}

QTEST_MAIN(tst_Install)
#include "tst_install.moc"
