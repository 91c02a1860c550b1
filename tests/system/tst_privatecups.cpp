// SPDX-License-Identifier: MIT
// The private server every CUPS test stands on: it must be a server of its own (never
// the machine's), show the queues with the driver and identifier given, and go away.
#include "PrivateCups.h"

#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

using wizard::test::PrivateCups;

class tst_PrivateCups : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sharedServerIsPrivate();
    void queueCarriesDriverAndIdentifier();
    void ownServerGoesAwayWhenStopped();
    void serverOfAKilledOwnerGoesAway();
};

void tst_PrivateCups::sharedServerIsPrivate()
{
    PrivateCups cups;
    QVERIFY2(cups.isRunning(), qPrintable(cups.lastError()));
    QVERIFY(cups.server().endsWith(QLatin1String("/cups.sock")));
    QVERIFY(!cups.server().startsWith(QLatin1String("/run/cups")));
    QVERIFY(!cups.server().startsWith(QLatin1String("/var/run/cups")));
    QVERIFY(cups.port() != 631);
    QVERIFY(cups.port() != 0);
    QString out;
    QCOMPARE(cups.runTool(QStringLiteral("lpstat"), { QStringLiteral("-r") }, &out), 0);
}

void tst_PrivateCups::queueCarriesDriverAndIdentifier()
{
    PrivateCups cups;
    QVERIFY2(cups.isRunning(), qPrintable(cups.lastError()));
    const QString name
        = PrivateCups::uniqueName(QStringLiteral("Helper Check").replace(QLatin1Char(' '), QLatin1Char('_')));
    QVERIFY2(cups.addQueue(name, QStringLiteral("socket://127.0.0.1:9"),
                 QStringLiteral("Talvor Helper Driver"), QStringLiteral("ID-42")),
        qPrintable(cups.lastError()));
    QString out;
    QCOMPARE(cups.runTool(QStringLiteral("lpstat"), { QStringLiteral("-v"), name }, &out), 0);
    QVERIFY2(out.contains(QLatin1String("socket://127.0.0.1:9")), qPrintable(out));
    QCOMPARE(cups.runTool(QStringLiteral("lpoptions"), { QStringLiteral("-p"), name }, &out), 0);
    QVERIFY2(out.contains(QLatin1String("printer-make-and-model='Talvor Helper Driver'")), qPrintable(out));
    QVERIFY2(out.contains(QLatin1String("talvor-printer-id=ID-42")), qPrintable(out));
    QVERIFY(cups.deleteQueue(name));
    QVERIFY(cups.runTool(QStringLiteral("lpstat"), { QStringLiteral("-v"), name }, &out) != 0);
}

void tst_PrivateCups::ownServerGoesAwayWhenStopped()
{
    QString folder;
    {
        PrivateCups cups(PrivateCups::Mode::Own);
        QVERIFY2(cups.isRunning(), qPrintable(cups.lastError()));
        QVERIFY(cups.isOwn());
        folder = QFileInfo(cups.server()).absolutePath();
        QVERIFY(cups.stop());
        QString out;
        QVERIFY(cups.runTool(QStringLiteral("lpstat"), { QStringLiteral("-r") }, &out) != 0
            || out.contains(QLatin1String("not running")));
    }
    QVERIFY(!QFileInfo::exists(folder));
}

void tst_PrivateCups::serverOfAKilledOwnerGoesAway()
{
    // A test killed at its time limit cannot stop its server; the server goes with it.
    QProcess owner;
    owner.start(QStringLiteral("sleep"), { QStringLiteral("60") });
    QVERIFY(owner.waitForStarted());
    QProcess start;
    start.start(PrivateCups::scriptPath(),
        { QStringLiteral("start"), QStringLiteral("--owner"), QString::number(owner.processId()) });
    QVERIFY(start.waitForFinished(30000));
    QCOMPARE(start.exitCode(), 0);
    const QString server = QString::fromLocal8Bit(start.readAllStandardOutput()).trimmed();
    const QString folder = QFileInfo(server).absolutePath();
    const auto stopAnyway = qScopeGuard([&] {
        if (QFileInfo::exists(folder))
            QProcess::execute(PrivateCups::scriptPath(), { QStringLiteral("stop"), server });
    });
    QVERIFY2(QFileInfo::exists(folder + QStringLiteral("/private-cups")), qPrintable(server));

    // Still there while its owner lives.
    QTest::qWait(1500);
    QVERIFY(QFileInfo::exists(server));
    owner.kill();
    QVERIFY(owner.waitForFinished());
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(folder), 10000);
}

QTEST_GUILESS_MAIN(tst_PrivateCups)
#include "tst_privatecups.moc"
