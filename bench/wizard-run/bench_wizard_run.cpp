// SPDX-License-Identifier: MIT
// The whole five-page run of a printer below the target, driven through the real
// window (Next on each page, as the user clicks it) against the virtual printer, the
// device library, a private CUPS server and the management tool stand-in, with the
// fixed waits (3000 ms after stopping the tool, 30000 ms after the download) at 0.
// In the same run, the same printer commands (the version read, the download frame,
// the version read after the restart, the status read and the adjustment) go through
// a bare comm layer, each on its own connection as the pages open them. What the
// wizard adds is the difference: its pages, wait boxes, the spooler hold and release,
// stopping and starting the tool. Those spooler and tool calls are also timed on
// their own, to tell them from the window's part.
//
//     bench_wizard_run [runs]
#include "WizardRun.h"

#include "comm/FactoryCommLayer.h"
#include "comm/IMCommLayer.h"
#include "comm/PrinterCommands.h"
#include "system/ProcessControl.h"
#include "system/Sleep.h"
#include "system/SpoolerControl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

using namespace wizard;
using namespace wizard::test;

namespace {

void noSleep(int) { }

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

bool versionRead(const std::wstring& printer)
{
    std::unique_ptr<IMCommLayer> layer(FactoryCommLayer::Build(nullptr, 0, nullptr, 1, 0, 0, 0, 0));
    if (!layer || !layer->Open(printer.c_str()))
        return false;
    layer->SetTimeout(PrinterCommands::firmwareVersionTimeoutMs);
    char reply[PrinterCommands::replyCapacity] = {};
    std::int32_t received = 0;
    const bool ok = layer->Write(PrinterCommands::firmwareVersion,
                        PrinterCommands::length(PrinterCommands::firmwareVersion))
        && layer->Read(reply, sizeof reply, &received) && received > 0;
    layer->Close();
    return ok;
}

bool download(const std::wstring& printer, const QByteArray& image)
{
    const std::size_t size = static_cast<std::size_t>(image.size());
    const std::size_t capacity = PrinterCommands::downloadFrameCapacity(size);
    std::unique_ptr<char[]> frame(new char[capacity]());
    const std::size_t header = PrinterCommands::writeDownloadHeader(frame.get(), capacity, size);
    std::memcpy(frame.get() + header, image.constData(), size);
    const std::size_t length = PrinterCommands::finishDownloadFrame(frame.get(), capacity, header, size);
    std::unique_ptr<IMCommLayer> layer(FactoryCommLayer::Build(nullptr, 0, nullptr, 1, 0, 0, 0, 0));
    if (!layer || !layer->Open(printer.c_str()))
        return false;
    layer->SetTimeout(PrinterCommands::downloadTimeoutMs);
    char reply[PrinterCommands::replyCapacity] = {};
    std::int32_t received = 0;
    const bool ok = layer->Write(frame.get(), static_cast<std::int32_t>(length))
        && layer->Read(reply, sizeof reply, &received);
    layer->Close();
    return ok;
}

bool adjustment(const std::wstring& printer)
{
    std::unique_ptr<IMCommLayer> layer(FactoryCommLayer::Build(nullptr, 0, nullptr, 1, 0, 0, 0, 0));
    if (!layer || !layer->Open(printer.c_str()))
        return false;
    CommStatus status {};
    char command[48] = {};
    std::memcpy(command, PrinterCommands::adjustment, sizeof PrinterCommands::adjustment);
    layer->SetTimeout(PrinterCommands::adjustmentTimeoutMs);
    char reply[PrinterCommands::replyCapacity] = {};
    std::int32_t received = 0;
    const bool ok = layer->ReadStatusRpst(&status)
        && layer->Write(command, PrinterCommands::length(PrinterCommands::adjustment))
        && layer->Read(reply, sizeof reply, &received) && PrinterCommands::isOk(reply, sizeof reply);
    layer->Close();
    return ok;
}

// Clicks Next and waits until the page at index is current; the time in ms, or -1.
double nextTo(WizardRun& run, int index)
{
    QElapsedTimer timer;
    timer.start();
    if (!run.click("nextButton"))
        return -1;
    while (run.currentIndex() != index) {
        if (timer.elapsed() > 60000 || !run.events.shown().isEmpty())
            return -1;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    qputenv("QT_LOGGING_RULES", "qt.webenginecontext.info=false;qt.qpa.*=false");
    qputenv("KAVNI_RUVELK_MAX_SECONDS", "600");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    probe::setMarker();

    PrivateCups cups(PrivateCups::Mode::Own);
    if (!cups.isRunning()) {
        std::fprintf(stderr, "no private CUPS server: %s\n", qPrintable(cups.lastError()));
        return 1;
    }
    cups.useForThisProcess();
    sys::setSleepFunction(&noSleep);
    QFile imageFile(WizardRun::targetImage());
    if (!imageFile.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray image = imageFile.readAll();

    std::vector<double> wizardTimes;
    std::vector<double> bareTimes;
    std::vector<double> spoolerTimes;
    std::vector<double> steps[4];
    for (int round = 0; round < runs; ++round) {
        // The printer is up again at once after the download, as the wait is 0.
        WizardRun run(cups, { "F2200", 0, 0, {} });
        if (!run.isValid()) {
            std::fprintf(stderr, "%s\n", qPrintable(run.error()));
            return 1;
        }
        const std::wstring printer = run.queue.toStdWString();
        WizardRun::startTool();

        // The bare commands, on the same printer and queue.
        QElapsedTimer bare;
        bare.start();
        const bool bareOk
            = versionRead(printer) && download(printer, image) && versionRead(printer) && adjustment(printer);
        const double bareMs = bare.nsecsElapsed() / 1e6;
        // The spooler's and the tool's part on their own: the hold, the tool
        // stopped, the hand-back (bidirectional support on, the tool started).
        QElapsedTimer spooler;
        spooler.start();
        const bool spoolerOk = holdQueue(run.queue) && sys::killProcessByName(L"Ruvelk.exe")
            && sys::restoreBidiAndStartRuvelk(printer);
        const double spoolerMs = spooler.nsecsElapsed() / 1e6;
        if (!spoolerOk) {
            std::fprintf(stderr, "spooler calls failed\n");
            return 1;
        }
        probe::waitFor([] { return WizardRun::toolRunning(); });
        run.printer.waitUntilUp();
        run.printer.set(QStringLiteral("version"), QStringLiteral("F2200"));
        run.printer.waitUntilIdle();
        if (!bareOk) {
            std::fprintf(stderr, "bare commands failed\n");
            return 1;
        }

        if (!run.open() || !run.choosePrinter()) {
            std::fprintf(stderr, "window did not open\n");
            return 1;
        }
        // Let the window's first paint and page loads settle before timing.
        QTest::qWait(500);
        double total = 0;
        for (int index = 1; index <= 4; ++index) {
            const double ms = nextTo(run, index);
            if (ms < 0) {
                std::fprintf(stderr, "run failed at page %d: %s | %s\n", index,
                    qPrintable(run.events.shown().join(',')), qPrintable(run.printer.logLines().join(" / ")));
                return 1;
            }
            steps[index - 1].push_back(ms);
            total += ms;
        }
        run.click("nextButton");
        QThreadPool::globalInstance()->waitForDone();
        wizardTimes.push_back(total);
        bareTimes.push_back(bareMs);
        spoolerTimes.push_back(spoolerMs);
        std::printf(
            "run %d: wizard %.1f ms, bare commands %.1f ms, added %.1f ms (spooler and tool alone %.1f ms)\n",
            round + 1, total, bareMs, total - bareMs, spoolerMs);
        std::fflush(stdout);
        probe::killAll(QStringLiteral("Ruvelk.exe"));
    }
    const double wizardMs = median(wizardTimes);
    const double bareMs = median(bareTimes);
    std::printf("steps (median ms): selection %.1f, firmware %.1f, after update %.1f, adjustment %.1f\n",
        median(steps[0]), median(steps[1]), median(steps[2]), median(steps[3]));
    std::printf(
        "median of %d: wizard %.1f ms, bare commands %.1f ms, the wizard adds %.1f ms (goal: at most 150)\n",
        runs, wizardMs, bareMs, wizardMs - bareMs);
    std::printf("of which the spooler hold and hand-back and the tool's stop and start alone: %.1f ms\n",
        median(spoolerTimes));
    return 0;
}
