// SPDX-License-Identifier: MIT
// Start-up of the wizard's window against a bare window with one web view,
// side by side in one run: from process start to the first page's content on
// screen (page 0's widgets painted in the five-page layout; page 1's HTML
// loaded and painted in the four-page one), and the memory of the process and
// its web engine helpers at that moment.
// Usage: bench_startup_inprocess [rounds=9]
//
// Each start is a process of bench_startup_probe, started the same way for
// both sides (same environment, same platform plug-in); the probe runs the
// wizard's own start-up sequence over a generated data set, or the bare
// window, and prints the monotonic clock when the content is painted. The
// time counts from just before the process is started.
#include "WizardDataSet.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

long long monotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct Sample {
    double ms = -1;
    double pssMib = -1;
};

Sample startOnce(const QStringList& arguments)
{
    QProcess probe;
    probe.setProcessChannelMode(QProcess::SeparateChannels);
    const long long started = monotonicNs();
    probe.start(QCoreApplication::applicationDirPath() + QStringLiteral("/bench_startup_probe"), arguments);
    Sample sample;
    if (!probe.waitForFinished(60000)) {
        probe.kill();
        probe.waitForFinished();
        return sample;
    }
    const QList<QByteArray> fields = probe.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() == 4 && fields.at(0) == "painted") {
        sample.ms = double(fields.at(1).toLongLong() - started) / 1e6;
        sample.pssMib = double(fields.at(3).toLongLong()) / 1024.0;
    }
    // The engine's helpers may outlive the probe briefly; let them go before the next start.
    QProcess::execute(QStringLiteral("sleep"), { QStringLiteral("1") });
    return sample;
}

struct Series {
    const char* name;
    QStringList arguments;
    std::vector<double> ms;
    std::vector<double> pss;
};

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 9;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    qputenv("QT_LOGGING_RULES", "qt.webenginecontext.info=false");
    qputenv("CUPS_SERVER", "/nonexistent/cups.sock");

    wizard::test::WizardDataSet data;
    if (!data.write()) {
        std::fprintf(stderr, "cannot write the data set\n");
        return 1;
    }
    const QString page = data.path(QStringLiteral("help/Common/en/page1.html"));
    Series series[] = {
        { "wizard, five pages (page 0 painted)",
            {
                "wizard",
                data.applicationDir(),
            },
            {}, {} },
        { "wizard, four pages (page 1 HTML painted)", { "wizard", data.applicationDir(), "prnname=Card1" },
            {}, {} },
        { "bare QDialog + QWebEngineView", { "bare", page }, {}, {} },
    };
    // One warm-up start of each, not counted (the file cache).
    for (Series& s : series)
        startOnce(s.arguments);
    for (int round = 0; round < rounds; ++round) {
        for (Series& s : series) {
            const Sample sample = startOnce(s.arguments);
            if (sample.ms < 0) {
                std::fprintf(stderr, "%s: no paint reported\n", s.name);
                return 1;
            }
            s.ms.push_back(sample.ms);
            s.pss.push_back(sample.pssMib);
        }
    }
    std::printf(
        "%-42s %10s %10s %10s %12s\n", "start-up, median of runs", "ms", "min ms", "max ms", "PSS MiB");
    for (const Series& s : series)
        std::printf("%-42s %10.1f %10.1f %10.1f %12.1f\n", s.name, median(s.ms),
            *std::min_element(s.ms.begin(), s.ms.end()), *std::max_element(s.ms.begin(), s.ms.end()),
            median(s.pss));
    const double bare = median(series[2].ms);
    const double bareMemory = median(series[2].pss);
    std::printf("ratio time   five pages %.2f, four pages %.2f (goal <= 1.3)\n", median(series[0].ms) / bare,
        median(series[1].ms) / bare);
    std::printf("ratio memory five pages %.2f, four pages %.2f (goal <= 1.5)\n",
        median(series[0].pss) / bareMemory, median(series[1].pss) / bareMemory);
    return 0;
}
