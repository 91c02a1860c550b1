// SPDX-License-Identifier: MIT
#include "wizard/PrinterSteps.h"

#include "comm/FactoryCommLayer.h"
#include "comm/IMCommLayer.h"
#include "comm/PrinterCommands.h"
#include "foundation/Trace.h"
#include "system/ProcessControl.h"
#include "system/Sleep.h"
#include "system/Spooler.h"

#include <QFile>

#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace wizard {

namespace {

// A version reply as text: up to its first NUL or line end, printable bytes only.
std::string replyText(const char* reply, std::size_t capacity)
{
    std::string text;
    for (std::size_t i = 0; i < capacity && reply[i] && reply[i] != '\r' && reply[i] != '\n'; ++i)
        if (reply[i] >= 0x20 && reply[i] < 0x7f)
            text += reply[i];
    return text;
}

} // namespace

PrinterSteps::PrinterSteps(ILogger* logger, PrinterStepsHost& host, std::wstring queue)
    : logger(logger)
    , host(host)
    , queue(std::move(queue))
{
}

void PrinterSteps::tracePage(
    ILogger* logger, const wchar_t* page, const wchar_t* tag, const wchar_t* step, const wchar_t* operation)
{
    if (!logger)
        return;
    std::wstring format = std::wstring(L"[%s] [") + page + L"] [" + tag + L"] ";
    if (step)
        format += std::wstring(L"[") + step + L"] ";
    format += L"{%s}";
    const std::wstring where = std::wstring(L"wizard::") + page + L"::" + (operation ? operation : tag);
    trace(logger, TraceLevel::debug, format.c_str(), where.c_str());
}

int PrinterSteps::askVersion(IMCommLayer* layer, char* reply, std::size_t capacity)
{
    layer->SetTimeout(PrinterCommands::firmwareVersionTimeoutMs);
    if (!layer->Write(
            PrinterCommands::firmwareVersion, PrinterCommands::length(PrinterCommands::firmwareVersion)))
        return PrinterEvent::communicationFailed;
    std::int32_t received = 0;
    if (!layer->Read(reply, static_cast<std::int32_t>(capacity), &received))
        return PrinterEvent::communicationFailed;
    return received == 0 ? PrinterEvent::stepFailed : PrinterEvent::none;
}

int PrinterSteps::readFirmwareVersion(
    IMCommLayer* layer, bool& open, std::int32_t& value, std::string* versionText)
{
    host.stepStarted(StepName::readingVersion, 0);
    open = layer && layer->Open(queue.c_str());
    if (!open)
        return PrinterEvent::communicationFailed;
    char reply[PrinterCommands::replyCapacity] = {};
    if (const int failed = askVersion(layer, reply, sizeof reply))
        return failed;
    value = PrinterCommands::firmwareVersionValue(reply, sizeof reply);
    if (versionText)
        *versionText = replyText(reply, sizeof reply);
    layer->Close();
    open = false;
    return PrinterEvent::none;
}

int PrinterSteps::takeOver(bool stopTool)
{
    using namespace sys;
    host.stepStarted(StepName::takingOver, 0);
    PrinterHandle printer = Spooler::openPrinter(queue.c_str(), PrinterAccess::Full);
    if (!printer)
        return PrinterEvent::stepFailed;
    PrinterInfo2 info;
    if (!Spooler::getPrinter2(printer, info)) {
        Spooler::closePrinter(printer);
        return PrinterEvent::stepFailed;
    }
    info.attributes &= ~printerAttributeEnableBidi;
    // On CUPS this write is the hold itself: without it jobs would go on
    // reaching the printer during the firmware download.
    if (!Spooler::setPrinter2(printer, info)) {
        Spooler::closePrinter(printer);
        host.handBack();
        return PrinterEvent::stepFailed;
    }
    host.held();

    int result = PrinterEvent::none;
    if (!stopTool) {
        // The caller stopped the management tool for all of its printers.
    } else if (killProcessByName(L"Ruvelk.exe")) {
        host.stepStarted(StepName::toolStopping, toolStopPauseMs);
        sleepMs(toolStopPauseMs);
        // Asked to end during the pause: the caller hands the printer back.
        if (host.ending())
            result = -1;
    } else {
        // The queue was held already: give it back before telling the user.
        host.handBack();
        result = PrinterEvent::stepFailed;
    }
    Spooler::closePrinter(printer);
    return result;
}

std::int32_t PrinterSteps::downloadFirmware(const wchar_t* firmwareFileName)
{
    const wchar_t* page = L"Page1K";
    const wchar_t* tag = L"OnDownloadFw";
    tracePage(logger, page, tag);
    QFile file(QString::fromWCharArray(firmwareFileName));
    if (!file.open(QIODevice::ReadOnly)) {
        tracePage(logger, page, tag, L"Fail 1");
        return 2;
    }
    const qint64 size = file.size();
    if (size <= 0) {
        tracePage(logger, page, tag, L"Fail 2");
        return 0;
    }
    // One zero-filled buffer holds the whole frame; the file is read straight
    // into it, so the firmware is in memory once.
    const std::size_t fileSize = static_cast<std::size_t>(size);
    const std::size_t capacity = PrinterCommands::downloadFrameCapacity(fileSize);
    std::unique_ptr<char[]> frame(
        capacity > fileSize && fileSize <= maxFirmwareSize ? new (std::nothrow) char[capacity]() : nullptr);
    if (!frame) {
        tracePage(logger, page, tag, L"Fail 3");
        return 0;
    }
    const std::size_t headerLength = PrinterCommands::writeDownloadHeader(frame.get(), capacity, fileSize);
    const qint64 read = file.read(frame.get() + headerLength, size);
    file.close();
    if (read != size) {
        tracePage(logger, page, tag, L"Fail 4");
        return 0;
    }
    const std::size_t frameLength
        = PrinterCommands::finishDownloadFrame(frame.get(), capacity, headerLength, fileSize);

    std::int32_t result = 0;
    IMCommLayer* layer = FactoryCommLayer::Build(logger, 0, nullptr, 1, 0, 0, 0, 0);
    host.stepStarted(StepName::sendingFirmware, 0);
    if (layer && layer->Open(queue.c_str())) {
        layer->SetTimeout(PrinterCommands::downloadTimeoutMs);
        // The printer accepts the frame only whole, so it goes out in one write.
        if (!layer->Write(frame.get(), static_cast<std::int32_t>(frameLength))) {
            tracePage(logger, page, tag, L"Fail 5");
        } else {
            char reply[PrinterCommands::replyCapacity] = {};
            std::int32_t received = 0;
            if (layer->Read(reply, sizeof reply, &received)) {
                // Any reply counts as acceptance; the printer then restarts
                // with the new firmware while the connection stays held.
                tracePage(logger, page, tag, L"Pass");
                host.stepStarted(StepName::restarting, restartWaitMs);
                sys::sleepMs(restartWaitMs);
                result = 1;
            } else {
                tracePage(logger, page, tag, L"Fail 6");
            }
        }
    }
    frame.reset();
    if (layer)
        layer->Close();
    delete layer;
    return result;
}

int PrinterSteps::checkVersion(IMCommLayer* layer, std::int32_t target, std::string* versionText)
{
    host.stepStarted(StepName::readingVersion, 0);
    if (!layer || !layer->Open(queue.c_str()))
        return PrinterEvent::communicationFailed;
    char reply[PrinterCommands::replyCapacity] = {};
    if (const int failed = askVersion(layer, reply, sizeof reply))
        return failed;
    if (versionText)
        *versionText = replyText(reply, sizeof reply);
    if (PrinterCommands::firmwareVersionValue(reply, sizeof reply) != target)
        return PrinterEvent::stepFailed;
    return PrinterEvent::none;
}

std::int32_t PrinterSteps::adjust()
{
    std::int32_t result;
    do
        result = adjustOnce();
    while (result == retry && !host.ending());
    // Asked to end before a retry: as if declined; the caller hands the printer back.
    return result == retry ? declined : result;
}

int PrinterSteps::eventOf(std::int32_t attemptResult)
{
    switch (attemptResult) {
    case communicationFailure:
        return PrinterEvent::communicationFailed;
    case adjustmentFailure:
        return PrinterEvent::adjustmentFailed;
    case statusOrHandBackFailure:
        return PrinterEvent::stepFailed;
    default:
        return PrinterEvent::none;
    }
}

std::int32_t PrinterSteps::adjustOnce()
{
    IMCommLayer* layer = FactoryCommLayer::Build(logger, 0, nullptr, 1, 0, 0, 0, 0);
    const std::int32_t result = attempt(layer);
    if (layer)
        layer->Close();
    delete layer;
    return result;
}

std::int32_t PrinterSteps::askToRetry(const wchar_t* retryLine)
{
    if (!host.retryAfterWarning(PrinterEvent::coverOrRibbon))
        return declined;
    tracePage(logger, L"Page3K", L"retryAdjustment", retryLine, L"checkCoverOpen");
    return retry;
}

std::int32_t PrinterSteps::attempt(IMCommLayer* layer)
{
    host.stepStarted(StepName::checkingCover, 0);
    if (!layer || !layer->Open(queue.c_str()))
        return communicationFailure;
    CommStatus status {};
    if (!layer->ReadStatusRpst(&status))
        return statusOrHandBackFailure;
    // An open cover never receives the adjustment command.
    if (PrinterCommands::coverOpen(status))
        return askToRetry(L"Retry Error Cover Open");

    char command[48] = {};
    std::memcpy(command, PrinterCommands::adjustment, sizeof PrinterCommands::adjustment);
    host.stepStarted(StepName::adjusting, 0);
    layer->SetTimeout(PrinterCommands::adjustmentTimeoutMs);
    if (!layer->Write(command, PrinterCommands::length(PrinterCommands::adjustment)))
        return communicationFailure;
    char reply[PrinterCommands::replyCapacity] = {};
    std::int32_t received = 0;
    if (!layer->Read(reply, sizeof reply, &received) || received == 0)
        return adjustmentFailure;
    if (PrinterCommands::isOk(reply, sizeof reply))
        // Handed back while the connection is still open.
        return host.handBack() ? adjusted : statusOrHandBackFailure;
    if (PrinterCommands::isRibbonError(reply, sizeof reply))
        return askToRetry(L"Retry Error Ribbon");
    tracePage(logger, L"Page3K", L"ErrorAdjustment", L"Other error", L"checkCoverOpen");
    return adjustmentFailure;
}

} // namespace wizard
