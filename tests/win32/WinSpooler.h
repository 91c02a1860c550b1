// SPDX-License-Identifier: MIT
#pragma once

// Printers, drivers and ports made in the spooler by the tests themselves. The
// driver files are Wine's own PostScript driver; the wizard only reads names.

#include "WinProcess.h"

#include <windows.h>

#include <winspool.h>

#include <string>
#include <vector>

namespace wintest {

inline bool addDriver(const wchar_t* name)
{
    wchar_t driverFile[] = L"wineps.drv";
    DRIVER_INFO_3W info {};
    info.cVersion = 3;
    info.pName = const_cast<wchar_t*>(name);
    info.pDriverPath = driverFile;
    info.pDataFile = driverFile;
    info.pConfigFile = driverFile;
    return AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_NEW_FILES) != FALSE;
}

inline bool addLocalPort(const wchar_t* port)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports", 0,
            nullptr, 0, KEY_WRITE, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return false;
    const LONG status
        = RegSetValueExW(key, port, 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

inline const wchar_t* monitorKey()
{
    return L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Kavni TCP Stand-in";
}

// Registers the stand-in monitor (kavni_tcpmon.dll beside the tests) with its
// ports, each reported with the monitor name given. Must happen before the
// process first lists ports: the spooler loads its monitors once.
inline bool registerNetworkPorts(const std::vector<std::pair<std::wstring, std::wstring>>& portsAndMonitors)
{
    HKEY monitor = nullptr;
    if (RegCreateKeyExW(
            HKEY_LOCAL_MACHINE, monitorKey(), 0, nullptr, 0, KEY_WRITE, nullptr, &monitor, nullptr)
        != ERROR_SUCCESS)
        return false;
    const std::wstring dll = selfDirectory() + L"kavni_tcpmon.dll";
    bool ok = RegSetValueExW(monitor, L"Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                  static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t)))
        == ERROR_SUCCESS;
    for (const auto& [port, monitorName] : portsAndMonitors) {
        HKEY key = nullptr;
        const std::wstring path = L"Ports\\" + port;
        if (RegCreateKeyExW(monitor, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr)
            != ERROR_SUCCESS) {
            ok = false;
            continue;
        }
        ok = RegSetValueExW(key, L"MonitorName", 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(monitorName.c_str()),
                 static_cast<DWORD>((monitorName.size() + 1) * sizeof(wchar_t)))
                == ERROR_SUCCESS
            && ok;
        RegCloseKey(key);
    }
    RegCloseKey(monitor);
    return ok;
}

inline void deletePrinter(const wchar_t* name)
{
    wchar_t raw[] = L"RAW";
    PRINTER_DEFAULTSW defaults { raw, nullptr, PRINTER_ALL_ACCESS };
    HANDLE printer = nullptr;
    if (OpenPrinterW(const_cast<wchar_t*>(name), &printer, &defaults) && printer) {
        DeletePrinter(printer);
        ClosePrinter(printer);
    }
}

inline bool addPrinter(const wchar_t* name, const wchar_t* port, const wchar_t* driver)
{
    deletePrinter(name);
    wchar_t processor[] = L"WinPrint";
    wchar_t raw[] = L"RAW";
    PRINTER_INFO_2W info {};
    info.pPrinterName = const_cast<wchar_t*>(name);
    info.pPortName = const_cast<wchar_t*>(port);
    info.pDriverName = const_cast<wchar_t*>(driver);
    info.pPrintProcessor = processor;
    info.pDatatype = raw;
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL | 0x800;
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (!printer)
        return false;
    ClosePrinter(printer);
    return true;
}

// Opens with full access, for the test's own reads and writes of the record.
class TestPrinter {
public:
    explicit TestPrinter(const wchar_t* name)
    {
        wchar_t raw[] = L"RAW";
        PRINTER_DEFAULTSW defaults { raw, nullptr, PRINTER_ALL_ACCESS };
        if (!OpenPrinterW(const_cast<wchar_t*>(name), &handle, &defaults))
            handle = nullptr;
    }
    ~TestPrinter()
    {
        if (handle)
            ClosePrinter(handle);
    }
    TestPrinter(const TestPrinter&) = delete;
    TestPrinter& operator=(const TestPrinter&) = delete;
    HANDLE get() const { return handle; }

    // The attribute word, or ~0 when it cannot be read.
    DWORD attributes() const
    {
        std::vector<BYTE> record = level2();
        return record.empty() ? ~DWORD(0) : reinterpret_cast<PRINTER_INFO_2W*>(record.data())->Attributes;
    }
    bool setAttributes(DWORD attributes) const
    {
        std::vector<BYTE> record = level2();
        if (record.empty())
            return false;
        reinterpret_cast<PRINTER_INFO_2W*>(record.data())->Attributes = attributes;
        return SetPrinterW(handle, 2, record.data(), 0) != FALSE;
    }
    DWORD setData(const wchar_t* key, const wchar_t* value, DWORD type, const void* data, DWORD size) const
    {
        return SetPrinterDataExW(handle, key, value, type, static_cast<BYTE*>(const_cast<void*>(data)), size);
    }

private:
    std::vector<BYTE> level2() const
    {
        DWORD needed = 0;
        if (!handle)
            return {};
        GetPrinterW(handle, 2, nullptr, 0, &needed);
        std::vector<BYTE> record(needed);
        if (needed == 0 || !GetPrinterW(handle, 2, record.data(), needed, &needed))
            return {};
        return record;
    }

    HANDLE handle = nullptr;
};

} // namespace wintest
