// SPDX-License-Identifier: MIT
// A port monitor for the tests' spooler. The spooler under Wine has only its
// local-port monitor; this one reports the network ports a test registers under
//   HKLM\System\CurrentControlSet\Control\Print\Monitors\<monitor>\Ports\<port>
// each with the monitor name stored in that key's "MonitorName" value (the TCP/IP
// monitor reports "TCPMON.DLL"), so the wizard's port rules meet real
// EnumPortsW records. It lists ports only; nothing can print through it.
#include <windows.h>

#include <winspool.h>

#include <winsplp.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

const wchar_t monitorsKey[] = L"System\\CurrentControlSet\\Control\\Print\\Monitors";
std::wstring portsKey;

std::vector<std::pair<std::wstring, std::wstring>> registeredPorts()
{
    std::vector<std::pair<std::wstring, std::wstring>> ports;
    HKEY root = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, portsKey.c_str(), 0, KEY_READ, &root) != ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(root, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr)
            != ERROR_SUCCESS)
            break;
        wchar_t monitor[256] = L"TCPMON.DLL";
        DWORD size = sizeof(monitor) - sizeof(wchar_t);
        DWORD type = 0;
        HKEY port = nullptr;
        if (RegOpenKeyExW(root, name, 0, KEY_READ, &port) == ERROR_SUCCESS) {
            wchar_t value[256] = {};
            if (RegQueryValueExW(port, L"MonitorName", nullptr, &type, reinterpret_cast<BYTE*>(value), &size)
                    == ERROR_SUCCESS
                && type == REG_SZ)
                std::wcscpy(monitor, value);
            RegCloseKey(port);
        }
        ports.emplace_back(name, monitor);
    }
    RegCloseKey(root);
    return ports;
}

BOOL WINAPI enumPorts(
    HANDLE, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned)
{
    if (level != 1 && level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    const auto ports = registeredPorts();
    const DWORD entry = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
    const wchar_t description[] = L"Network port";
    DWORD total = 0;
    for (const auto& p : ports) {
        total += entry + static_cast<DWORD>((p.first.size() + 1) * sizeof(wchar_t));
        if (level == 2)
            total += static_cast<DWORD>((p.second.size() + 1) * sizeof(wchar_t) + sizeof(description));
    }
    *needed = total;
    *returned = 0;
    if (!buffer || size < total) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* text = reinterpret_cast<wchar_t*>(buffer + entry * ports.size());
    auto put = [&text](const std::wstring& s) {
        wchar_t* at = text;
        std::memcpy(at, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
        text += s.size() + 1;
        return at;
    };
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (level == 1) {
            reinterpret_cast<PORT_INFO_1W*>(buffer)[i].pName = put(ports[i].first);
        } else {
            PORT_INFO_2W& info = reinterpret_cast<PORT_INFO_2W*>(buffer)[i];
            info.pPortName = put(ports[i].first);
            info.pMonitorName = put(ports[i].second);
            info.pDescription = put(description);
            info.fPortType = PORT_TYPE_WRITE | PORT_TYPE_READ;
            info.Reserved = 0;
        }
    }
    *returned = static_cast<DWORD>(ports.size());
    return TRUE;
}

MONITOR2 monitor = [] {
    MONITOR2 m {};
    m.cbSize = sizeof(MONITOR2);
    m.pfnEnumPorts = &enumPorts;
    return m;
}();

} // namespace

extern "C" __declspec(dllexport) LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT, PHANDLE handle)
{
    // Which monitor key loaded this library is not passed in a form Wine's
    // registry helpers serve, so the tests register it under a fixed name.
    portsKey = std::wstring(monitorsKey) + L"\\Kavni TCP Stand-in\\Ports";
    *handle = reinterpret_cast<HANDLE>(&monitor);
    return &monitor;
}
