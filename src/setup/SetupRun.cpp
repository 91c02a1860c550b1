// SPDX-License-Identifier: MIT
#include "setup/SetupRun.h"

#include "comm/FactoryCommLayer.h"
#include "comm/IMCommLayer.h"
#include "system/EndRequest.h"
#include "system/ProcessControl.h"
#include "system/Sleep.h"
#include "system/SpoolerControl.h"
#include "wizard/PrinterHold.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

namespace wizard {

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The report's name of a step, by the message id of its name.
const char* stepKey(const std::string& stepNameId)
{
    static const std::pair<const char*, const char*> keys[] = {
        { StepName::takingOver, "take-over" },
        { StepName::readingVersion, "read-version" },
        { StepName::toolStopping, "stop-tool" },
        { StepName::sendingFirmware, "send-firmware" },
        { StepName::restarting, "restart-wait" },
        { StepName::checkingCover, "check-cover" },
        { StepName::adjusting, "adjust" },
        { StepName::handingBack, "hand-back" },
    };
    for (const auto& [id, key] : keys)
        if (stepNameId == id)
            return key;
    return "step";
}

void appendJsonString(std::string& out, const std::string& text)
{
    out += '"';
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

void appendNullable(std::string& out, const std::string& text)
{
    if (text.empty())
        out += "null";
    else
        appendJsonString(out, text);
}

} // namespace

std::string PrinterRecord::toJson() const
{
    std::string out = "{\"queue\":";
    appendJsonString(out, queue.toStdString());
    out += ",\"family\":" + std::to_string(family);
    out += ",\"firmware_before\":";
    appendNullable(out, firmwareBefore);
    out += ",\"firmware_after\":";
    appendNullable(out, firmwareAfter);
    out += ",\"outcome\":";
    appendJsonString(out, outcome);
    if (!reason.empty()) {
        out += ",\"reason\":";
        appendJsonString(out, reason);
    }
    if (outcome == "checked") {
        out += ",\"plan\":[";
        for (std::size_t i = 0; i < plan.size(); ++i) {
            if (i)
                out += ',';
            appendJsonString(out, plan[i]);
        }
        out += ']';
    }
    out += ",\"steps\":[";
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (i)
            out += ',';
        out += "{\"step\":";
        appendJsonString(out, steps[i].name);
        out += ",\"ms\":" + std::to_string(steps[i].ms) + '}';
    }
    out += "],\"event_id\":" + std::to_string(eventId);
    out += ",\"message_id\":";
    appendNullable(out, messageId);
    out += std::string(",\"handed_back\":") + (held ? "false" : "true") + '}';
    return out;
}

// One printer's run of the steps: it times each step for the report, shows it
// to the live view, answers the cover warning by waiting and trying again,
// and hands the printer back without starting the management tool.
class SetupRun::Job : public PrinterStepsHost {
public:
    Job(SetupRun& run, std::size_t index)
        : run(run)
        , index(index)
        , record(run.results[index])
    {
    }

    void stepStarted(const char* stepNameId, int waitMs) override
    {
        closeStep();
        current = stepNameId;
        stepStart = Clock::now();
        const Clock::time_point waitEnd = stepStart + std::chrono::milliseconds(waitMs);
        std::lock_guard<std::mutex> lock(run.statesMutex);
        run.states[index].stepNameId = stepNameId;
        run.states[index].waitEndMs
            = std::chrono::duration_cast<std::chrono::milliseconds>(waitEnd.time_since_epoch()).count();
    }

    bool retryAfterWarning(int) override
    {
        if (warnedSince == Clock::time_point())
            warnedSince = Clock::now();
        const auto deadline = warnedSince + std::chrono::seconds(run.options.coverWaitSeconds);
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || ending())
            return false;
        // Every few seconds, and once more at the end of the wait.
        sys::sleepMs(static_cast<int>(std::min<std::int64_t>(left, run.options.retrySeconds * 1000)));
        return !ending();
    }

    bool ending() const override { return sys::endRequested(); }
    void held() override { record.held = true; }

    bool handBack() override
    {
        stepStarted(StepName::handingBack, 0);
        const bool released = sys::restoreBidi(record.queue.toStdWString());
        if (released)
            record.held = false;
        return released;
    }

    // Ends the printer with event: handed back when it is held.
    void fail(int event)
    {
        record.eventId = event;
        record.messageId = current;
        record.outcome = "failed";
        if (record.held)
            handBack();
    }

    void closeStep()
    {
        if (!current.empty())
            record.steps.push_back({ stepKey(current), msSince(stepStart) });
        current.clear();
    }

    SetupRun& run;
    std::size_t index;
    PrinterRecord& record;
    std::string current;
    Clock::time_point stepStart;
    Clock::time_point warnedSince;
};

SetupRun::SetupRun(ILogger* logger, SetupData data, SetupOptions options,
    const std::vector<std::pair<QString, std::int32_t>>& printers)
    : logger(logger)
    , data(std::move(data))
    , options(options)
    , results(printers.size())
    , states(printers.size())
{
    for (std::size_t i = 0; i < printers.size(); ++i) {
        results[i].queue = printers[i].first;
        results[i].family = printers[i].second;
    }
}

std::vector<SetupRun::Live> SetupRun::live() const
{
    std::vector<Live> now;
    {
        std::lock_guard<std::mutex> lock(statesMutex);
        now = states;
    }
    const std::int64_t nowMs
        = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
    for (Live& live : now)
        live.waitLeftMs = std::max<std::int64_t>(0, live.waitEndMs - nowMs);
    return now;
}

void SetupRun::run(const std::function<void(const PrinterRecord&)>& ended)
{
    onEnded = ended;

    // The management tool serves every printer of the machine: stopped once,
    // before the first take-over. A tool that cannot be stopped fails them all.
    if (!options.check) {
        if (!sys::killAllProcessesByName(L"Ruvelk.exe"))
            toolEvent = PrinterEvent::stepFailed;
        else
            sys::sleepMs(PrinterSteps::toolStopPauseMs);
    }

    std::atomic<std::size_t> next { 0 };
    const int workers = std::clamp<int>(options.jobs, 1, SetupOptions::maxJobs);
    std::vector<std::thread> threads;
    for (int w = 0; w < workers && w < static_cast<int>(results.size()); ++w)
        threads.emplace_back([this, &next, count = results.size()] {
            for (std::size_t i = next++; i < count; i = next++)
                runPrinter(i);
        });
    for (std::thread& thread : threads)
        thread.join();

    // Started again once, after the last printer is handed back (as each
    // hand-back of the wizard starts it, whether it ran before or not).
    if (!options.check && toolEvent == 0)
        sys::startRuvelk();
}

void SetupRun::runPrinter(std::size_t index)
{
    Job job(*this, index);
    setUpPrinter(job);
    job.closeStep();
    {
        std::lock_guard<std::mutex> lock(statesMutex);
        states[index].ended = true;
    }
    if (onEnded)
        onEnded(job.record);
}

void SetupRun::setUpPrinter(Job& job)
{
    PrinterRecord& record = job.record;
    PrinterSteps steps(logger, job, record.queue.toStdWString());

    if (sys::endRequested()) {
        record.outcome = "stopped";
        record.reason = "the run was asked to end first";
        return;
    }
    // A hold whose wizard is gone is handed back first, as the selection page does;
    // a printer held by a wizard or another setup that runs is never touched.
    PrinterHold::releaseStale(record.queue, logger);
    if (PrinterHold::heldByAnotherWizard(record.queue)) {
        record.outcome = "skipped";
        record.reason = "held by another wizard or setup run";
        return;
    }

    // The version is asked before the queue is touched.
    IMCommLayer* layer = FactoryCommLayer::Build(logger, 0, nullptr, 1, 0, 0, 0, 0);
    bool open = false;
    std::int32_t version = 0;
    int failed = steps.readFirmwareVersion(layer, open, version, &record.firmwareBefore);
    if (open)
        layer->Close();
    delete layer;
    if (failed)
        return job.fail(failed);
    const bool update = version < data.firmwareValue;
    if (options.check) {
        if (update)
            record.plan.push_back("update");
        record.plan.push_back("adjust");
        record.outcome = "checked";
        return;
    }
    // Neither a firmware file that cannot be read nor a tool that would not
    // stop lets the printer be touched.
    if (update && !QFile(data.firmwareName).open(QIODevice::ReadOnly))
        return job.fail(PrinterEvent::firmwareFileUnreadable);
    if (toolEvent != 0)
        return job.fail(toolEvent);

    if ((failed = steps.takeOver(false)))
        return job.fail(failed);
    if (update) {
        const std::wstring firmware = data.firmwareName.toStdWString();
        const std::int32_t downloaded = steps.downloadFirmware(firmware.c_str());
        if (downloaded != 1)
            return job.fail(
                downloaded == 2 ? PrinterEvent::firmwareFileUnreadable : PrinterEvent::stepFailed);
        if (!sys::endRequested()) {
            IMCommLayer* check = FactoryCommLayer::Build(logger, 0, nullptr, 1, 0, 0, 0, 0);
            failed = steps.checkVersion(check, data.firmwareValue, &record.firmwareAfter);
            delete check;
            if (failed)
                return job.fail(failed);
        }
    } else {
        record.firmwareAfter = record.firmwareBefore;
    }

    const std::int32_t result = sys::endRequested() ? PrinterSteps::declined : steps.adjust();
    if (result == PrinterSteps::adjusted) {
        record.outcome = "done";
    } else if (const int event = PrinterSteps::eventOf(result)) {
        job.fail(event);
    } else if (sys::endRequested()) {
        record.outcome = "stopped";
        record.reason = "the run was asked to end";
        job.handBack();
    } else {
        // The cover stayed open or the ribbon faulty for the whole wait.
        job.fail(PrinterEvent::coverOrRibbon);
    }
}

} // namespace wizard
