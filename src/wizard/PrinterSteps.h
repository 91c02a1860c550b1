// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace wizard {

class ILogger;
class IMCommLayer;

// Message ids of the steps' names (the wait box and the setup command's live
// line show them).
struct StepName {
    static constexpr const char* takingOver = "21";
    static constexpr const char* readingVersion = "22";
    static constexpr const char* toolStopping = "23";
    static constexpr const char* sendingFirmware = "24";
    static constexpr const char* restarting = "25";
    static constexpr const char* checkingCover = "26";
    static constexpr const char* adjusting = "27";
    static constexpr const char* handingBack = "28";
};

// The event ids the printer steps end with.
struct PrinterEvent {
    enum Id : int {
        none = 0,
        communicationFailed = 5,
        stepFailed = 6,
        firmwareFileUnreadable = 7,
        adjustmentFailed = 8,
        coverOrRibbon = 9,
    };
};

// What the printer steps tell, and ask of, whoever runs them: the window's
// pages (the wait box, the warning, the window's hold) or the unattended setup
// command (its live line, its retry policy, its report).
class PrinterStepsHost {
public:
    virtual ~PrinterStepsHost() = default;
    // A step under way: the message id of its name, and the length of a wait
    // of known length (else 0).
    virtual void stepStarted(const char* stepNameId, int waitMs) = 0;
    // The cover is open or the ribbon faulty (event 9): true to try again on
    // a new connection, false to give up.
    virtual bool retryAfterWarning(int eventId) = 0;
    // The run is asked to end: no further exchange with the printer starts.
    virtual bool ending() const = 0;
    // The take-over holds the queue now.
    virtual void held() = 0;
    // Hands the printer back (queue released, management tool started as the
    // host has it); true when that worked.
    virtual bool handBack() = 0;
};

// The printer steps of the take-over, the firmware update and the adjustment,
// without a window: their order, replies, waits and trace lines (which name
// the page each step belongs to, "Page0K", "Page1K" or "Page3K"). The pages of
// the window and the setup command both run them. Each step opens and closes
// its own connections; none keeps state between steps.
class PrinterSteps {
public:
    PrinterSteps(ILogger* logger, PrinterStepsHost& host, std::wstring queue);

    // The pause after stopping the management tool.
    static constexpr int toolStopPauseMs = 3000;
    // The wait after an accepted download while the printer restarts.
    static constexpr int restartWaitMs = 30000;
    // The largest firmware file that fits one frame the layer can write.
    static constexpr std::size_t maxFirmwareSize = 0x7fffff00;

    // Asks the firmware version before the queue is touched, on layer (which
    // it leaves closed on success, open is set while it holds a connection).
    // PrinterEvent::none with value set, or the event that ends the step.
    // versionText, when given, receives the reply as the printer wrote it.
    int readFirmwareVersion(
        IMCommLayer* layer, bool& open, std::int32_t& value, std::string* versionText = nullptr);

    // Holds the queue (bidirectional support off) and, with stopTool, stops
    // the management tool and pauses. none when held; -1 when asked to end
    // during the pause (held: the caller hands back); else the event, with
    // the printer handed back where it had been held.
    int takeOver(bool stopTool);

    // The download: 1 sent and accepted (after the restart wait), 0 failed,
    // 2 the file cannot be opened.
    std::int32_t downloadFirmware(const wchar_t* firmwareFileName);
    // Reads the version back after the download; none when it is target.
    int checkVersion(IMCommLayer* layer, std::int32_t target, std::string* versionText = nullptr);

    // What one adjustment attempt came to.
    enum AttemptResult : std::int32_t {
        adjusted = 0,
        communicationFailure = 1,
        retry = 2,
        declined = 3,
        adjustmentFailure = 4,
        statusOrHandBackFailure = 5,
    };
    // One attempt with its own connection; handed back once adjusted.
    std::int32_t adjustOnce();
    // Attempts until one is not retried or the run is asked to end (then as
    // if declined).
    std::int32_t adjust();
    // The event an attempt that failed ends with; none for adjusted and declined.
    static int eventOf(std::int32_t attemptResult);

    // Writes "[level] [page] [tag] [step] {wizard::page::operation}"; no step
    // part when step is null, and operation defaults to tag.
    static void tracePage(ILogger* logger, const wchar_t* page, const wchar_t* tag,
        const wchar_t* step = nullptr, const wchar_t* operation = nullptr);

private:
    // Asks the version on an open layer: none with the reply in reply, or the event.
    int askVersion(IMCommLayer* layer, char* reply, std::size_t capacity);
    std::int32_t attempt(IMCommLayer* layer);
    std::int32_t askToRetry(const wchar_t* retryLine);

    ILogger* logger;
    PrinterStepsHost& host;
    std::wstring queue;
};

} // namespace wizard
