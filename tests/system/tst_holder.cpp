// SPDX-License-Identifier: MIT
// The record that names a printer's holder: what is read as a record and what is
// not, and which holders count as gone.
#include "system/Holder.h"

#include <QProcess>
#include <QTest>

#include <unistd.h>

using namespace wizard::sys;

class tst_Holder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
    void recordRoundTrip();
    void thisProcess();
    void life_data();
    void life();
};

void tst_Holder::parse_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("boot");
    QTest::addColumn<quint64>("pid");
    QTest::addColumn<quint64>("start");

    const QString boot = QStringLiteral("0b6b6d8e-3c1e-4c62-9e33-7c1f3b1f6c0a");
    QTest::newRow("whole") << "host=card-pc boot=" + boot + " pid=4242 start=987654" << true << "card-pc"
                           << boot << quint64(4242) << quint64(987654);
    QTest::newRow("windows boot and a 64-bit start")
        << "host=CARDPC boot=- pid=7 start=18446744073709551615" << true << "CARDPC"
        << "-" << quint64(7) << quint64(18446744073709551615ull);
    QTest::newRow("fields in another order") << "boot=b host=h pid=1 start=2" << false << ""
                                             << "" << quint64(0) << quint64(0);
    QTest::newRow("a field missing") << "host=h boot=b pid=1" << false << ""
                                     << "" << quint64(0) << quint64(0);
    QTest::newRow("a field more") << "host=h boot=b pid=1 start=2 user=x" << false << ""
                                  << "" << quint64(0) << quint64(0);
    QTest::newRow("two spaces") << "host=h  boot=b pid=1 start=2" << false << ""
                                << "" << quint64(0) << quint64(0);
    QTest::newRow("trailing space") << "host=h boot=b pid=1 start=2 " << false << ""
                                    << "" << quint64(0) << quint64(0);
    QTest::newRow("empty host") << "host= boot=b pid=1 start=2" << false << ""
                                << "" << quint64(0) << quint64(0);
    QTest::newRow("pid not a number") << "host=h boot=b pid=1a start=2" << false << ""
                                      << "" << quint64(0) << quint64(0);
    QTest::newRow("negative pid") << "host=h boot=b pid=-1 start=2" << false << ""
                                  << "" << quint64(0) << quint64(0);
    QTest::newRow("pid 0") << "host=h boot=b pid=0 start=2" << false << ""
                           << "" << quint64(0) << quint64(0);
    QTest::newRow("start past 64 bits") << "host=h boot=b pid=1 start=18446744073709551616" << false << ""
                                        << "" << quint64(0) << quint64(0);
    QTest::newRow("an equals sign in a value") << "host=h=x boot=b pid=1 start=2" << false << ""
                                               << "" << quint64(0) << quint64(0);
    QTest::newRow("the bare hold message") << "" << false << ""
                                           << "" << quint64(0) << quint64(0);
}

void tst_Holder::parse()
{
    QFETCH(QString, record);
    QFETCH(bool, valid);
    const std::optional<Holder> holder = parseHolderRecord(record.toStdString());
    QCOMPARE(holder.has_value(), valid);
    if (!valid)
        return;
    QTEST(QString::fromStdString(holder->host), "host");
    QTEST(QString::fromStdString(holder->boot), "boot");
    QTEST(quint64(holder->pid), "pid");
    QTEST(quint64(holder->start), "start");
}

void tst_Holder::recordRoundTrip()
{
    const Holder self = thisHolder();
    const std::optional<Holder> back = parseHolderRecord(holderRecord(self));
    QVERIFY(back);
    QVERIFY(*back == self);
}

void tst_Holder::thisProcess()
{
    const Holder self = thisHolder();
    QCOMPARE(self.pid, std::uint64_t(getpid()));
    QVERIFY(self.start > 0);
    QCOMPARE(processStartTime(self.pid), std::optional<std::uint64_t>(self.start));
    QVERIFY(!self.host.empty());
    // The kernel's boot id: 36 characters.
    QCOMPARE(self.boot.size(), std::size_t(36));
}

void tst_Holder::life_data()
{
    QTest::addColumn<QString>("who");
    QTest::addColumn<int>("life");
    QTest::newRow("this process") << "self" << int(HolderLife::own);
    QTest::newRow("another process that runs") << "other" << int(HolderLife::alive);
    QTest::newRow("its pid now another program's") << "reused" << int(HolderLife::gone);
    QTest::newRow("a process that ended") << "ended" << int(HolderLife::gone);
    QTest::newRow("this pid in a boot before") << "boot" << int(HolderLife::gone);
    QTest::newRow("another machine") << "host" << int(HolderLife::alive);
}

void tst_Holder::life()
{
    QFETCH(QString, who);
    QProcess other;
    other.start(QStringLiteral("sleep"), { QStringLiteral("30") });
    QVERIFY(other.waitForStarted());
    Holder holder = thisHolder();
    if (who != QLatin1String("self")) {
        holder.pid = std::uint64_t(other.processId());
        QTRY_VERIFY(processStartTime(holder.pid).has_value());
        holder.start = *processStartTime(holder.pid);
    }
    if (who == QLatin1String("reused"))
        holder.start -= 1;
    if (who == QLatin1String("boot")) {
        holder = thisHolder();
        holder.boot = "ffffffff-ffff-ffff-ffff-ffffffffffff";
    }
    if (who == QLatin1String("host"))
        holder.host += ".elsewhere";
    if (who == QLatin1String("ended")) {
        other.kill();
        QVERIFY(other.waitForFinished());
        QVERIFY(!processStartTime(holder.pid));
    }
    QFETCH(int, life);
    QCOMPARE(int(holderLife(holder)), life);
    other.kill();
    other.waitForFinished();
}

QTEST_GUILESS_MAIN(tst_Holder)
#include "tst_holder.moc"
