// SPDX-License-Identifier: MIT
#include "wizard/Page1K.h"

#include "comm/FactoryCommLayer.h"
#include "comm/IMCommLayer.h"
#include "comm/PrinterCommands.h"
#include "system/Sleep.h"
#include "wizard/PageViewUI.h"
#include "wizard/WizardSettings.h"

#include <QFile>

#include <memory>
#include <new>
#include <string>

namespace wizard {

Page1K::Page1K(
    QWidget* mainWindow, WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
    : WizardActionPage(PageClass::firmware, L"Page1K", mainWindow, resourceProvider, logger, settings)
{
    setView(new Page1UI(mainWindow, resourceProvider, logger, settings));
    initActionPage();
}

void Page1K::startAction()
{
    tracePage(L"startAction");
    runInBackground([this] { return applyAction(); });
}

bool Page1K::applyAction()
{
    tracePage(L"applyAction");
    const std::wstring firmwareName = settings->firmwareName.toStdWString();
    const std::wstring printerName = settings->printerName.toStdWString();
    // With the printer preset no selection took it over: one wizard per
    // printer is checked here, before the download.
    if (!settings->selectPrinter && anotherWizardHolds())
        return true;
    IMCommLayer* versionCheck = FactoryCommLayer::Build(logger, 0, nullptr, 1, 0, 0, 0, 0);

    const std::int32_t downloaded = OnDownloadFw(firmwareName.c_str());
    if (downloaded == 1) {
        // Asked to end during the restart wait: the frame went out whole, the
        // version is not asked, and the window hands the printer back.
        if (!ending())
            checkVersion(versionCheck, printerName);
    } else if (downloaded == 2) {
        tracePage(L"applyAction", L"Fail");
        giveUp(firmwareFileUnreadable);
    } else {
        tracePage(L"applyAction", L"Fail");
        giveUp(stepFailed);
    }
    // The layer's destructor closes a connection still open.
    delete versionCheck;
    return true;
}

void Page1K::checkVersion(IMCommLayer* layer, const std::wstring& printerName)
{
    reportStep(StepName::readingVersion);
    if (!layer || !layer->Open(printerName.c_str())) {
        giveUp(communicationFailed);
        return;
    }
    layer->SetTimeout(PrinterCommands::firmwareVersionTimeoutMs);
    if (!layer->Write(
            PrinterCommands::firmwareVersion, PrinterCommands::length(PrinterCommands::firmwareVersion))) {
        giveUp(communicationFailed);
        return;
    }
    char reply[PrinterCommands::replyCapacity] = {};
    std::int32_t received = 0;
    if (!layer->Read(reply, sizeof reply, &received)) {
        giveUp(communicationFailed);
        return;
    }
    if (received == 0) {
        giveUp(stepFailed);
        return;
    }
    if (PrinterCommands::firmwareVersionValue(reply, sizeof reply) != settings->firmwareValue) {
        giveUp(stepFailed);
        return;
    }
    tracePage(L"applyAction", L"Pass");
    completeAction();
}

void Page1K::giveUp(int errorID)
{
    raiseError(errorID);
    handBackPrinter();
}

std::int32_t Page1K::OnDownloadFw(const wchar_t* firmwareFileName)
{
    tracePage(L"OnDownloadFw");
    QFile file(QString::fromWCharArray(firmwareFileName));
    if (!file.open(QIODevice::ReadOnly)) {
        tracePage(L"OnDownloadFw", L"Fail 1");
        return 2;
    }
    const qint64 size = file.size();
    if (size <= 0) {
        tracePage(L"OnDownloadFw", L"Fail 2");
        return 0;
    }
    // One zero-filled buffer holds the whole frame; the file is read straight
    // into it, so the firmware is in memory once.
    const std::size_t fileSize = static_cast<std::size_t>(size);
    const std::size_t capacity = PrinterCommands::downloadFrameCapacity(fileSize);
    std::unique_ptr<char[]> frame(
        capacity > fileSize && fileSize <= maxFirmwareSize ? new (std::nothrow) char[capacity]() : nullptr);
    if (!frame) {
        tracePage(L"OnDownloadFw", L"Fail 3");
        return 0;
    }
    const std::size_t headerLength = PrinterCommands::writeDownloadHeader(frame.get(), capacity, fileSize);
    const qint64 read = file.read(frame.get() + headerLength, size);
    file.close();
    if (read != size) {
        tracePage(L"OnDownloadFw", L"Fail 4");
        return 0;
    }
    const std::size_t frameLength
        = PrinterCommands::finishDownloadFrame(frame.get(), capacity, headerLength, fileSize);

    std::int32_t result = 0;
    IMCommLayer* layer = FactoryCommLayer::Build(logger, 0, nullptr, 1, 0, 0, 0, 0);
    const std::wstring printerName = settings->printerName.toStdWString();
    reportStep(StepName::sendingFirmware);
    if (layer && layer->Open(printerName.c_str())) {
        layer->SetTimeout(PrinterCommands::downloadTimeoutMs);
        // The printer accepts the frame only whole, so it goes out in one write.
        if (!layer->Write(frame.get(), static_cast<std::int32_t>(frameLength))) {
            tracePage(L"OnDownloadFw", L"Fail 5");
        } else {
            char reply[PrinterCommands::replyCapacity] = {};
            std::int32_t received = 0;
            if (layer->Read(reply, sizeof reply, &received)) {
                // Any reply counts as acceptance; the printer then restarts
                // with the new firmware while the connection stays held.
                tracePage(L"OnDownloadFw", L"Pass");
                reportStep(StepName::restarting, restartWaitMs);
                sys::sleepMs(restartWaitMs);
                result = 1;
            } else {
                tracePage(L"OnDownloadFw", L"Fail 6");
            }
        }
    }
    frame.reset();
    if (layer)
        layer->Close();
    delete layer;
    return result;
}

} // namespace wizard
