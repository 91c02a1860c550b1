// SPDX-License-Identifier: MIT
// kavni-setup: the wizard's printer steps for one or many printers without a
// window, for installers, deployment scripts and fleet rollouts.
//
//   kavni-setup [--check] [--json] [--cover-wait SECONDS] [--jobs N] (--all | QUEUE...)
//
// Exit code 0 when every printer ended well, 1 when any did not, 2 for a usage
// error (with one line on standard error).
#include "foundation/DebugLogger.h"
#include "foundation/ParameterFile.h"
#include "foundation/Trace.h"
#include "foundation/WizardRessourceProvider.h"
#include "setup/SetupRun.h"
#include "system/ApplicationDirectory.h"
#include "system/EndRequest.h"
#include "system/Registry.h"
#include "system/SystemLanguage.h"
#include "system/SystemQt.h"
#include "wizard/WaitProgress.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <io.h>
#define KAVNI_ISATTY _isatty
#define KAVNI_FILENO _fileno
#else
#include <unistd.h>
#define KAVNI_ISATTY isatty
#define KAVNI_FILENO fileno
#endif

using namespace wizard;

namespace {

const char usageText[]
    = "usage: kavni-setup [--check] [--json] [--cover-wait SECONDS] [--jobs N] (--all | QUEUE...)";

int usageError(const QString& why)
{
    std::fprintf(stderr, "kavni-setup: %s (%s)\n", qPrintable(why), usageText);
    return 2;
}

bool number(const QString& text, int low, int high, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= low && value <= high;
}

// A printer's line on a terminal: where it is, or how it ended.
QString liveLine(const PrinterRecord& record, const SetupRun::Live& live, WizardRessourceProvider& texts)
{
    QString line = record.queue + QStringLiteral(": ");
    if (live.ended) {
        line += QString::fromStdString(record.outcome);
        if (!record.firmwareAfter.empty() && record.firmwareAfter != record.firmwareBefore)
            line += QStringLiteral(" (%1 -> %2)")
                        .arg(QString::fromStdString(record.firmwareBefore),
                            QString::fromStdString(record.firmwareAfter));
        if (record.eventId != 0)
            line += QStringLiteral(", event %1").arg(record.eventId);
        if (!record.reason.empty())
            line += QStringLiteral(", ") + QString::fromStdString(record.reason);
        return line;
    }
    if (live.stepNameId.empty())
        return line + QStringLiteral("waiting");
    // A wait shows its seconds left as the wait box does.
    return line
        + WaitProgress::stepLine(texts.GetResource(IRessourceProvider::Text,
                                     QString::fromStdString(live.stepNameId), 0, QString()),
            live.waitLeftMs);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);

    SetupOptions options;
    bool json = false;
    bool all = false;
    int jobs = 0;
    QStringList queues;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--check")) {
            options.check = true;
        } else if (argument == QLatin1String("--json")) {
            json = true;
        } else if (argument == QLatin1String("--all")) {
            all = true;
        } else if (argument == QLatin1String("--cover-wait") || argument == QLatin1String("--jobs")) {
            int value = 0;
            if (i + 1 >= arguments.size()
                || !number(arguments[i + 1], argument == QLatin1String("--jobs") ? 1 : 0,
                    argument == QLatin1String("--jobs") ? SetupOptions::maxJobs : 86400, value))
                return usageError(argument
                    + (argument == QLatin1String("--jobs")
                            ? QStringLiteral(" needs a number from 1 to %1").arg(SetupOptions::maxJobs)
                            : QStringLiteral(" needs a number of seconds")));
            (argument == QLatin1String("--jobs") ? jobs : options.coverWaitSeconds) = value;
            ++i;
        } else if (argument.startsWith(QLatin1String("-"))) {
            return usageError(QStringLiteral("unknown option %1").arg(argument));
        } else {
            queues << argument;
        }
    }
    if (all == !queues.isEmpty())
        return usageError(all ? QStringLiteral("--all and queue names exclude each other")
                              : QStringLiteral("no printer named"));

    const QString folder = QString::fromStdWString(sys::applicationDirectory());
    ParameterMap parameters;
    if (!readParameterFile(folder + QStringLiteral("wzkavni.dat"), &parameters))
        return usageError(QStringLiteral("the data file %1wzkavni.dat is missing or unreadable").arg(folder));
    const QString language = QString::fromLatin1(sys::wizardLanguageCode(sys::systemPrimaryLanguage()));
    const QString messagePattern = folder + parameters.value(QStringLiteral("MessagePath"));
    if (!QFile::exists(messagePattern.arg(language))
        || !QFile::exists(messagePattern.arg(QStringLiteral("en"))))
        return usageError(QStringLiteral("the message file %1 is missing").arg(messagePattern.arg(language)));

    SetupData data;
    data.firmwareName = parameters.value(QStringLiteral("Firmware_Name"));
    data.firmwareValue = parameterNumber(parameters.value(QStringLiteral("Firmware_Value")));

    // The printers: those the selection page would list, or those named (each
    // must be one of them).
    sys::QtPrinterList listed;
    if (!sys::listWizardPrinters(listed, true, true, driverTableOf(parameters)))
        return usageError(QStringLiteral("the print queues cannot be listed"));
    std::vector<std::pair<QString, std::int32_t>> printers;
    if (all) {
        for (auto printer = listed.cbegin(); printer != listed.cend(); ++printer)
            printers.emplace_back(printer.key(), printer.value());
    } else {
        for (const QString& queue : queues) {
            if (!listed.contains(queue))
                return usageError(
                    QStringLiteral("unknown queue %1 (not a card printer of this machine)").arg(queue));
            if (std::none_of(
                    printers.begin(), printers.end(), [&](const auto& p) { return p.first == queue; }))
                printers.emplace_back(queue, listed.value(queue));
        }
    }
    // By default every printer at once, up to eight; --jobs may ask for more.
    options.jobs = jobs > 0
        ? jobs
        : static_cast<int>(std::clamp<std::size_t>(printers.size(), 1, SetupOptions::defaultMaxJobs));

    std::unique_ptr<ILogger> logger(new DebugLogger());
    if (sys::readRegistryDword(L"DRNWZKAVNI") != 0)
        logger->Enable();
    else
        logger->Disable();
    tracePlain(logger.get(), L"");
    trace(logger.get(), TraceLevel::info, L"[%s] Enter entry point of the Kavni Setup {%s}", L"main");

    WizardRessourceProvider texts(logger.get(), QStringLiteral("en"), language, messagePattern,
        folder + parameters.value(QStringLiteral("HTMLPath")),
        folder + parameters.value(QStringLiteral("HTMLFilePath")));
    texts.Initialize();

    // Asked to end: every exchange under way finishes, none starts, every
    // held printer is handed back, and the printers that ended are reported.
    sys::watchEndRequests([] {});

    const bool terminal = !json && KAVNI_ISATTY(KAVNI_FILENO(stdout));
    std::mutex output;
    SetupRun run(logger.get(), data, options, printers);
    const auto ended = [&](const PrinterRecord& record) {
        std::lock_guard<std::mutex> lock(output);
        if (json)
            std::printf("%s\n", record.toJson().c_str());
        else if (!terminal)
            std::printf("%s\n", qPrintable(liveLine(record, SetupRun::Live { {}, 0, true, 0 }, texts)));
        std::fflush(stdout);
    };
    std::thread worker([&] {
        run.run(ended);
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    });

    // One live line per printer on a terminal, drawn again in place.
    QTimer redraw;
    int drawn = 0;
    const auto draw = [&] {
        const std::vector<SetupRun::Live> live = run.live();
        if (!terminal || live.size() != run.records().size())
            return;
        std::lock_guard<std::mutex> lock(output);
        if (drawn > 0)
            std::printf("\x1b[%dA", drawn);
        for (std::size_t i = 0; i < live.size(); ++i)
            std::printf("\x1b[2K%s\n", qPrintable(liveLine(run.records()[i], live[i], texts)));
        drawn = static_cast<int>(live.size());
        std::fflush(stdout);
    };
    QObject::connect(&redraw, &QTimer::timeout, &application, draw, Qt::AutoConnection);
    redraw.start(250);
    QCoreApplication::exec();
    worker.join();
    draw();

    trace(logger.get(), TraceLevel::info, L"[%s] Exit entry point of the Kavni Setup {%s}", L"main");
    const auto& records = run.records();
    const bool allWell = std::all_of(records.begin(), records.end(),
        [](const PrinterRecord& r) { return r.outcome == "done" || r.outcome == "checked"; });
    return allWell ? 0 : 1;
}
