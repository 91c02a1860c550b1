// SPDX-License-Identifier: MIT
// The executable's path and the application directory come from the system,
// whatever the working folder and however unusual the folder's name.
// Run with "report" as the only argument, the program prints its application
// directory and ends; the main run starts copies of itself that way.

#include "WinCheck.h"

#include "system/ApplicationDirectory.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring systemImagePath()
{
    wchar_t buffer[1024];
    DWORD size = 1024;
    if (!QueryFullProcessImageNameW(GetCurrentProcess(), 0, buffer, &size))
        return std::wstring();
    return std::wstring(buffer, size);
}

// Runs exe with "report" from the working folder given; its output is written
// to a file the child is told about through its environment.
std::wstring reportOf(const std::wstring& exe, const std::wstring& workingFolder, const std::wstring& outFile)
{
    SetEnvironmentVariableW(L"KAVNI_REPORT_FILE", outFile.c_str());
    std::wstring command = L"\"" + exe + L"\" report";
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process {};
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
            workingFolder.c_str(), &startup, &process))
        return L"<not started>";
    const DWORD waited = WaitForSingleObject(process.hProcess, 30000);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    SetEnvironmentVariableW(L"KAVNI_REPORT_FILE", nullptr);

    std::wstring text;
    HANDLE file = CreateFileW(outFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return L"<no report>";
    wchar_t buffer[1024];
    DWORD read = 0;
    if (ReadFile(file, buffer, sizeof buffer, &read, nullptr))
        text.assign(buffer, read / sizeof(wchar_t));
    CloseHandle(file);
    DeleteFileW(outFile.c_str());
    return text;
}

int report()
{
    wchar_t out[1024];
    if (!GetEnvironmentVariableW(L"KAVNI_REPORT_FILE", out, 1024))
        return 2;
    const std::wstring directory = wizard::sys::applicationDirectory();
    HANDLE file = CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written = 0;
    WriteFile(
        file, directory.data(), static_cast<DWORD>(directory.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return 0;
}

void pathOfThisProgram()
{
    wintest::section("the executable path is the system's, the directory ends in a backslash");
    const std::wstring path = wizard::sys::executablePath();
    CHECK_EQ(path, systemImagePath());
    const std::wstring directory = wizard::sys::applicationDirectory();
    CHECK(!directory.empty() && directory.back() == L'\\');
    CHECK(path.compare(0, directory.size(), directory) == 0);
    CHECK(path.find(L'\\', directory.size()) == std::wstring::npos);
    // The runner puts the management-tool stand-in beside the tests.
    CHECK(GetFileAttributesW((directory + L"Ruvelk.exe").c_str()) != INVALID_FILE_ATTRIBUTES);
}

void directoryOfPaths()
{
    wintest::section("directoryOf cuts after the last backslash");
    struct Row {
        const wchar_t* path;
        const wchar_t* directory;
    };
    const Row rows[] = {
        { L"C:\\Program Files\\Talvor\\wzkavni.exe", L"C:\\Program Files\\Talvor\\" },
        { L"C:\\wzkavni.exe", L"C:\\" },
        { L"\\\\server\\share\\wz.exe", L"\\\\server\\share\\" },
        { L"wzkavni.exe", L"" },
        { L"", L"" },
        { L"C:/forward/slashes/wz.exe", L"" },
        { L"C:\\trailing\\", L"C:\\trailing\\" },
    };
    for (const Row& row : rows)
        CHECK_EQ(wizard::sys::directoryOf(row.path), std::wstring(row.directory));
}

void startedElsewhere()
{
    wintest::section("started from another working folder, the directory is still the executable's");
    const std::wstring self = systemImagePath();
    const std::wstring home = wizard::sys::applicationDirectory();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring tempFolder(temp);
    CHECK_EQ(reportOf(self, tempFolder, tempFolder + L"kavni-appdir-1.txt"), home);

    wintest::section("a folder with spaces and accents");
    const std::wstring odd = tempFolder + L"dossier d'essai \u00e9\u00e8 \u00fc\u00df";
    CreateDirectoryW(odd.c_str(), nullptr);
    const std::wstring copy = odd + L"\\copie.exe";
    if (CHECK(CopyFileW(self.c_str(), copy.c_str(), FALSE)))
        CHECK_EQ(reportOf(copy, tempFolder, tempFolder + L"kavni-appdir-2.txt"), odd + L"\\");
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(odd.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "report")
        return report();
    pathOfThisProgram();
    directoryOfPaths();
    startedElsewhere();
    return wintest::finish();
}
