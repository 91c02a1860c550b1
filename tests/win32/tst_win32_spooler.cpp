// SPDX-License-Identifier: MIT
// The printer rules over the real Windows spooler: printers, drivers and ports
// made by this test (AddPrinterDriverExW, AddPrinterW, the local ports in the
// registry and network ports through a stand-in port monitor), then
// listTcpPorts, listWizardPrinters, printerTypeOf, the hand-back, the hold
// record under the wizard's registry key and the printer identifier.

#include "WinCheck.h"
#include "WinProcess.h"
#include "WinSpooler.h"

#include "system/Holder.h"
#include "system/PrinterEnumeration.h"
#include "system/Spooler.h"
#include "system/SpoolerControl.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using wizard::sys::DriverTable;
using wizard::sys::PrinterList;

struct Printer {
    const wchar_t* name;
    const wchar_t* port;
    const wchar_t* driver;
};

// Names that differ only in case are one printer to the spooler, so each port
// case has a printer name of its own.
const Printer printers[] = {
    { L"Kavni A usb", L"USB001", L"Talvor T1" },
    { L"Kavni B lower usb", L"usb001", L"Talvor T1" },
    { L"Kavni C talusb", L"TALUSB7", L"Talvor T2" },
    { L"Kavni D tcp", L"IP_127.0.0.1", L"Talvor T1" },
    { L"Kavni E tcp lower monitor", L"IP_127.0.0.2", L"Talvor T1" },
    { L"Kavni F other driver", L"USB002", L"Other Driver" },
    { L"Kavni G parallel", L"LPT1:", L"Talvor T1" },
    { L"Kavni H prefix only", L"TALUSB", L"Talvor T2" },
    { L"Kavni I usb second", L"USB002", L"Talvor T2" },
    // A printer on several ports carries them in one string, judged whole.
    { L"Kavni J ports lpt first", L"LPT1:,USB001", L"Talvor T1" },
    { L"Kavni K ports usb first", L"USB001,LPT1:", L"Talvor T1" },
};

bool setUp()
{
    bool ok = wintest::registerNetworkPorts(
        { { L"IP_127.0.0.1", L"TCPMON.DLL" }, { L"IP_127.0.0.2", L"tcpmon.dll" } });
    for (const wchar_t* port : { L"USB001", L"USB002", L"TALUSB7", L"TALUSB" })
        ok = wintest::addLocalPort(port) && ok;
    for (const wchar_t* driver : { L"Talvor T1", L"Talvor T2", L"Other Driver" })
        ok = wintest::addDriver(driver) && ok;
    for (const Printer& p : printers) {
        if (!wintest::addPrinter(p.name, p.port, p.driver)) {
            std::printf(
                "could not add printer %s (error %lu)\n", wintest::narrow(p.name).c_str(), GetLastError());
            ok = false;
        }
    }
    return ok;
}

void tearDown()
{
    for (const Printer& p : printers)
        wintest::deletePrinter(p.name);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, wintest::monitorKey());
}

std::wstring describe(const PrinterList& list)
{
    std::wstring out;
    for (const auto& [name, type] : list)
        out += name + L"=" + std::to_wstring(type) + L"; ";
    return out;
}

void tcpPorts()
{
    wintest::section("listTcpPorts: only ports whose monitor is exactly TCPMON.DLL");
    std::vector<std::wstring> ports { L"kept" };
    CHECK(wizard::sys::listTcpPorts(ports));
    CHECK(ports.size() >= 1 && ports.front() == L"kept");
    auto has = [&ports](const wchar_t* name) {
        return std::find(ports.begin(), ports.end(), name) != ports.end();
    };
    CHECK(has(L"IP_127.0.0.1"));
    CHECK(!has(L"IP_127.0.0.2"));
    CHECK(!has(L"USB001"));
    CHECK(!has(L"LPT1:"));
    CHECK_EQ(ports.size(), std::size_t(2));
}

void wizardPrinters()
{
    const DriverTable table { { L"Talvor T1", 3 }, { L"Talvor T2", 4 } };
    struct Row {
        const char* name;
        bool usb;
        bool tcp;
        DriverTable table;
        PrinterList expected;
    };
    const Row rows[] = {
        { "USB and TCP/IP allowed", true, true, table,
            { { L"Kavni A usb", 3 }, { L"Kavni C talusb", 4 }, { L"Kavni D tcp", 3 },
                { L"Kavni H prefix only", 4 }, { L"Kavni I usb second", 4 },
                { L"Kavni K ports usb first", 3 } } },
        { "USB only: USB..., TALUSB..., never usb001", true, false, table,
            { { L"Kavni A usb", 3 }, { L"Kavni C talusb", 4 }, { L"Kavni H prefix only", 4 },
                { L"Kavni I usb second", 4 }, { L"Kavni K ports usb first", 3 } } },
        { "TCP/IP only", false, true, table, { { L"Kavni D tcp", 3 } } },
        { "neither", false, false, table, {} },
        { "empty driver table", true, true, {}, {} },
        { "two drivers of one type", true, true, { { L"Talvor T1", 5 }, { L"Talvor T2", 5 } },
            { { L"Kavni A usb", 5 }, { L"Kavni C talusb", 5 }, { L"Kavni D tcp", 5 },
                { L"Kavni H prefix only", 5 }, { L"Kavni I usb second", 5 },
                { L"Kavni K ports usb first", 5 } } },
        { "a driver missing from the table is never listed", true, true, { { L"Talvor T2", 4 } },
            { { L"Kavni C talusb", 4 }, { L"Kavni H prefix only", 4 }, { L"Kavni I usb second", 4 } } },
        { "the driver name is compared exactly", true, true, { { L"talvor t1", 3 }, { L"Talvor T1 ", 3 } },
            {} },
    };
    for (const Row& row : rows) {
        wintest::section((std::string("listWizardPrinters: ") + row.name).c_str());
        PrinterList list;
        CHECK(wizard::sys::listWizardPrinters(list, row.usb, row.tcp, row.table));
        CHECK_EQ(describe(list), describe(row.expected));
    }

    wintest::section("listWizardPrinters adds to the list it is given");
    PrinterList list { { L"Already there", 1 }, { L"Kavni A usb", 99 } };
    CHECK(wizard::sys::listWizardPrinters(list, true, false, table));
    CHECK_EQ(list[L"Already there"], 1);
    CHECK_EQ(list[L"Kavni A usb"], 3);
}

void printerTypes()
{
    wintest::section("printerTypeOf");
    const DriverTable table { { L"Talvor T1", 3 }, { L"Talvor T2", 4 } };
    CHECK_EQ(wizard::sys::printerTypeOf(L"Kavni A usb", table), 3);
    CHECK_EQ(wizard::sys::printerTypeOf(L"Kavni C talusb", table), 4);
    // The type follows the driver whatever the port.
    CHECK_EQ(wizard::sys::printerTypeOf(L"Kavni G parallel", table), 3);
    CHECK_EQ(wizard::sys::printerTypeOf(L"Kavni F other driver", table), 0);
    CHECK_EQ(wizard::sys::printerTypeOf(L"Kavni F other driver", { { L"Other Driver", 9 } }), 9);
    CHECK_EQ(wizard::sys::printerTypeOf(L"No such printer", table), 0);
    CHECK_EQ(wizard::sys::printerTypeOf(L"", table), 0);
    CHECK_EQ(wizard::sys::printerTypeOf(nullptr, table), 0);
    CHECK_EQ(wizard::sys::printerTypeOf(std::wstring(300, L'x').c_str(), table), 0);
}

void handBack()
{
    const std::wstring tool = L"Ruvelk.exe";
    wintest::section("restoreBidiAndStartRuvelk sets 0x800, keeps the other bits and starts x64\\Ruvelk.exe");
    wintest::stopAll(tool);
    {
        wintest::TestPrinter printer(L"Kavni A usb");
        const DWORD before = printer.attributes();
        CHECK(before != ~DWORD(0));
        CHECK(printer.setAttributes((before & ~DWORD(0x800)) | PRINTER_ATTRIBUTE_SHARED));
        CHECK_EQ(printer.attributes() & 0x800, DWORD(0));
    }
    CHECK(wizard::sys::restoreBidiAndStartRuvelk(L"Kavni A usb"));
    {
        wintest::TestPrinter printer(L"Kavni A usb");
        const DWORD after = printer.attributes();
        CHECK_EQ(after & 0x800, DWORD(0x800));
        CHECK_EQ(after & PRINTER_ATTRIBUTE_SHARED, DWORD(PRINTER_ATTRIBUTE_SHARED));
        CHECK(printer.setAttributes(after & ~DWORD(PRINTER_ATTRIBUTE_SHARED)));
    }
    const DWORD pid = wintest::waitForProcess(tool, 5000);
    if (CHECK(pid != 0)) {
        std::wstring image = wintest::imagePathOf(pid);
        std::wstring expected = wintest::selfDirectory() + L"x64\\Ruvelk.exe";
        CharLowerW(image.data());
        CharLowerW(expected.data());
        CHECK_EQ(image, expected);
    }
    wintest::stopAll(tool);

    wintest::section("a bit already set stays set; the tool starts again");
    CHECK(wizard::sys::restoreBidiAndStartRuvelk(L"Kavni A usb"));
    CHECK_EQ(wintest::TestPrinter(L"Kavni A usb").attributes() & 0x800, DWORD(0x800));
    CHECK(wintest::waitForProcess(tool, 5000) != 0);
    wintest::stopAll(tool);

    wintest::section("a printer that does not exist: false, and no tool started");
    CHECK(!wizard::sys::restoreBidiAndStartRuvelk(L"No such printer"));
    Sleep(300);
    CHECK(wintest::pidsNamed(tool).empty());
    wintest::stopAll(tool);
}

void printerIds()
{
    const wchar_t* name = L"Kavni A usb";
    // 40 characters and the terminating zero: 82 bytes.
    const std::wstring id = L"TALVOR-0123456789-ABCDEFGHIJ-0123456789X";
    std::vector<BYTE> exact((id.size() + 1) * sizeof(wchar_t));
    std::memcpy(exact.data(), id.c_str(), exact.size());

    struct Row {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
        bool expected;
    };
    std::vector<BYTE> shorter(exact.begin(), exact.end() - 2);
    std::vector<BYTE> longer = exact;
    longer.push_back(0);
    longer.push_back(0);
    std::vector<BYTE> muchLonger(400, 0x41);
    const Row rows[] = {
        { "82 bytes binary", REG_BINARY, exact, true },
        { "82 bytes as text (40 characters and the zero)", REG_SZ, exact, true },
        { "80 bytes: read, yet refused", REG_BINARY, shorter, false },
        { "84 bytes: does not fit", REG_BINARY, longer, false },
        { "400 bytes: does not fit, nothing written past the block", REG_BINARY, muchLonger, false },
    };
    for (const Row& row : rows) {
        wintest::section((std::string("readPrinterId: ") + row.name).c_str());
        {
            wintest::TestPrinter printer(name);
            CHECK_EQ(printer.setData(L"DsUser", L"PrinterID", row.type, row.data.data(),
                         static_cast<DWORD>(row.data.size())),
                DWORD(ERROR_SUCCESS));
        }
        std::vector<BYTE> block(82 + 32, 0xAA);
        const bool read = wizard::sys::readPrinterId(name, block.data());
        CHECK_EQ(read, row.expected);
        if (row.expected)
            CHECK(std::memcmp(block.data(), exact.data(), 82) == 0);
        CHECK(std::all_of(block.begin() + 82, block.end(), [](BYTE b) { return b == 0xAA; }));
    }

    // The spooler under Wine cannot delete printer data (DeletePrinterDataExW
    // answers ERROR_INVALID_PARAMETER), so another printer has none.
    wintest::section("readPrinterId: no such value, the value under another key, no such printer");
    const wchar_t* other = L"Kavni C talusb";
    BYTE block[82];
    CHECK(!wizard::sys::readPrinterId(other, block));
    {
        wintest::TestPrinter printer(other);
        CHECK_EQ(
            printer.setData(L"DsSpooler", L"PrinterID", REG_BINARY, exact.data(), 82), DWORD(ERROR_SUCCESS));
        CHECK_EQ(
            printer.setData(L"DsUser", L"PrinterId2", REG_BINARY, exact.data(), 82), DWORD(ERROR_SUCCESS));
    }
    CHECK(!wizard::sys::readPrinterId(other, block));
    CHECK(!wizard::sys::readPrinterId(L"No such printer", block));
}

std::string holdValue(const wchar_t* printer)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(
            HKEY_LOCAL_MACHINE, L"Software\\Talvor Card Printer\\Holds", 0, KEY_READ | KEY_WOW64_64KEY, &key)
        != ERROR_SUCCESS)
        return {};
    wchar_t value[256] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    const LONG status
        = RegQueryValueExW(key, printer, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? wintest::narrow(value) : std::string();
}

bool setHoldValue(const wchar_t* printer, const std::string& record)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Talvor Card Printer\\Holds", 0, nullptr, 0,
            KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return false;
    const std::wstring value(record.begin(), record.end());
    const LONG status = RegSetValueExW(key, printer, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool hold(const wchar_t* name, bool on)
{
    using namespace wizard::sys;
    PrinterHandle printer = Spooler::openPrinter(name, PrinterAccess::Full);
    if (!printer)
        return false;
    PrinterInfo2 info;
    bool ok = Spooler::getPrinter2(printer, info);
    if (ok) {
        info.attributes = on ? info.attributes & ~printerAttributeEnableBidi
                             : info.attributes | printerAttributeEnableBidi;
        ok = Spooler::setPrinter2(printer, info);
    }
    Spooler::closePrinter(printer);
    return ok;
}

void holdRecords()
{
    using namespace wizard::sys;
    const wchar_t* name = L"Kavni A usb";
    const std::wstring tool = L"Ruvelk.exe";
    wintest::section("a hold names this process under the wizard's key; the release removes it");
    const Holder self = thisHolder();
    CHECK_EQ(self.pid, std::uint64_t(GetCurrentProcessId()));
    CHECK_EQ(self.boot, std::string("-"));
    CHECK(processStartTime(self.pid) == std::optional<std::uint64_t>(self.start));
    CHECK(hold(name, true));
    CHECK_EQ(holdValue(name), holderRecord(self));
    CHECK(queueHoldOf(name) == QueueHold::own);
    CHECK(hold(name, false));
    CHECK_EQ(holdValue(name), std::string());
    CHECK(queueHoldOf(name) == QueueHold::none);

    wintest::section("another holder's printer is neither taken nor given back; a gone one's is released");
    Holder gone = self;
    gone.start += 1;
    CHECK(hold(name, true));
    CHECK(setHoldValue(name, holderRecord(gone)));
    CHECK(queueHoldOf(name) == QueueHold::stale);
    CHECK(!hold(name, true));
    wintest::stopAll(tool.c_str());
    CHECK(!restoreBidiAndStartRuvelk(name));
    CHECK_EQ(wintest::TestPrinter(name).attributes() & 0x800, DWORD(0));
    Holder elsewhere = self;
    elsewhere.host = "ELSEWHERE";
    CHECK(setHoldValue(name, holderRecord(elsewhere)));
    CHECK(queueHoldOf(name) == QueueHold::otherWizard);
    CHECK(!releaseStaleHold(name));
    CHECK(setHoldValue(name, holderRecord(gone)));
    std::string record;
    CHECK(releaseStaleHold(name, &record));
    CHECK_EQ(record, holderRecord(gone));
    CHECK_EQ(wintest::TestPrinter(name).attributes() & 0x800, DWORD(0x800));
    CHECK_EQ(holdValue(name), std::string());
    CHECK(wintest::waitForProcess(tool.c_str(), 5000) != 0);
    wintest::stopAll(tool.c_str());
}

} // namespace

int main()
{
    tearDown();
    if (CHECK(setUp())) {
        tcpPorts();
        wizardPrinters();
        printerTypes();
        handBack();
        holdRecords();
        printerIds();
    }
    tearDown();
    wintest::stopAll(L"Ruvelk.exe");
    return wintest::finish();
}
