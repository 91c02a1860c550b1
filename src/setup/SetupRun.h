// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/PrinterSteps.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace wizard {

class ILogger;

// What the data file gives the unattended setup.
struct SetupData {
    QString firmwareName;
    std::int32_t firmwareValue = 0;
};

struct SetupOptions {
    // Read each printer's version and say what a run would do; change nothing.
    bool check = false;
    // An open cover or a ribbon fault is tried again every retrySeconds up to
    // this long (0: the printer fails at once).
    int coverWaitSeconds = 0;
    int retrySeconds = 5;
    // Printers done at once (each on its own connections).
    int jobs = 1;
    static constexpr int defaultMaxJobs = 8;
    static constexpr int maxJobs = 32;
};

// One printer of the run, as it goes and as it ended.
struct PrinterRecord {
    struct Step {
        std::string name;
        std::int64_t ms = 0;
    };
    QString queue;
    std::int32_t family = 0;
    std::string firmwareBefore;
    std::string firmwareAfter;
    // "done", "failed", "skipped" (with reason), "checked" (with plan) or
    // "stopped" (the run was asked to end before the printer was done).
    std::string outcome;
    std::string reason;
    std::vector<std::string> plan;
    std::vector<Step> steps;
    int eventId = 0;
    // The message id of the step that failed.
    std::string messageId;
    // Held by this run; a printer that ends not held is reported handed back.
    bool held = false;

    // One line of JSON, without its line end.
    std::string toJson() const;
};

// The printer steps of the wizard for several printers without a window: each
// printer taken over, its firmware updated when below the target, adjusted
// and handed back, on its own connections and in its own thread; the
// management tool stopped once before the first take-over and started again
// once, after the last printer is handed back.
class SetupRun {
public:
    // The printers: queue and driver family.
    SetupRun(ILogger* logger, SetupData data, SetupOptions options,
        const std::vector<std::pair<QString, std::int32_t>>& printers);

    // ended runs, on the printer's thread, once for each printer when it
    // ends; its record is final then.
    void run(const std::function<void(const PrinterRecord&)>& ended);

    // What each printer does now, for a live view: its step's message id and
    // the milliseconds left of a wait (0 for none); empty once it ended.
    struct Live {
        std::string stepNameId;
        std::int64_t waitLeftMs = 0;
        bool ended = false;
        // When the wait ends (steady clock, milliseconds).
        std::int64_t waitEndMs = 0;
    };
    std::vector<Live> live() const;
    const std::vector<PrinterRecord>& records() const { return results; }

private:
    class Job;
    // Runs one printer's steps and reports it once it ended.
    void runPrinter(std::size_t index);
    void setUpPrinter(Job& job);

    ILogger* logger;
    SetupData data;
    SetupOptions options;
    std::vector<PrinterRecord> results;
    std::vector<Live> states;
    mutable std::mutex statesMutex;
    std::function<void(const PrinterRecord&)> onEnded;
    // Set before the printers' threads start: the event every printer fails
    // with when the management tool could not be stopped.
    int toolEvent = 0;
};

} // namespace wizard
