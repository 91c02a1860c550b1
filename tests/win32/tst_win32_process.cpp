// SPDX-License-Identifier: MIT
// Stopping the management tool by name, the command interpreter through the
// shell, and the 32/64-bit question, against the real Windows calls. The tool
// is the stand-in Ruvelk.exe built beside this program.

#include "WinCheck.h"
#include "WinProcess.h"

#include "system/ApplicationDirectory.h"
#include "system/ProcessControl.h"
#include "system/Shell.h"
#include "system/SpoolerControl.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

const std::wstring tool = L"Ruvelk.exe";

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void killNone()
{
    wintest::section("killProcessByName with no such process: true, nothing stopped");
    wintest::stopAll(tool);
    wintest::Child bystander(wintest::selfDirectory() + L"x64\\" + tool, L"60");
    CHECK(bystander.started());
    CHECK(wizard::sys::killProcessByName(L"NoSuchProgram.exe"));
    CHECK(wizard::sys::killProcessByName(L""));
    CHECK(bystander.running());
    CHECK(!wizard::sys::killProcessByName(nullptr));
}

void killFirstOfTwo()
{
    wintest::section("of two processes of the name, only the first in the snapshot stops, with exit code 0");
    wintest::stopAll(tool);
    wintest::Child a(wintest::selfDirectory() + tool, L"60");
    wintest::Child b(wintest::selfDirectory() + L"x64\\" + tool, L"60");
    CHECK(a.started() && b.started());
    const std::vector<DWORD> before = wintest::pidsNamed(tool);
    if (!CHECK_EQ(before.size(), std::size_t(2)))
        return;
    const DWORD first = before.front();
    CHECK(wizard::sys::killProcessByName(tool.c_str()));
    const wintest::Child& stopped = a.id() == first ? a : b;
    const wintest::Child& spared = a.id() == first ? b : a;
    CHECK(stopped.endsWithin(5000));
    CHECK_EQ(stopped.exitCode(), DWORD(0));
    CHECK(spared.running());

    wintest::section("the next call stops the other; then none is left and the call still succeeds");
    CHECK(wizard::sys::killProcessByName(tool.c_str()));
    CHECK(spared.endsWithin(5000));
    CHECK(wintest::pidsNamed(tool).empty());
    CHECK(wizard::sys::killProcessByName(tool.c_str()));
}

void killExactNameOnly()
{
    wintest::section("a name differing in case, or longer, is not stopped");
    wintest::stopAll(tool);
    const std::wstring folder = wintest::tempFolder(L"kavni-names");
    const std::wstring self = wintest::selfDirectory() + tool;
    const std::wstring upper = folder + L"RUVELK.EXE";
    const std::wstring longer = folder + L"Ruvelk.exe.exe";
    const std::wstring prefixed = folder + L"MyRuvelk.exe";
    CHECK(CopyFileW(self.c_str(), upper.c_str(), FALSE));
    CHECK(CopyFileW(self.c_str(), longer.c_str(), FALSE));
    CHECK(CopyFileW(self.c_str(), prefixed.c_str(), FALSE));
    {
        wintest::Child c1(upper, L"60");
        wintest::Child c2(longer, L"60");
        wintest::Child c3(prefixed, L"60");
        CHECK(c1.started() && c2.started() && c3.started());
        // The snapshot carries each under its own spelling.
        CHECK(!wintest::pidsNamed(L"RUVELK.EXE").empty());
        CHECK(wizard::sys::killProcessByName(tool.c_str()));
        Sleep(200);
        CHECK(c1.running());
        CHECK(c2.running());
        CHECK(c3.running());
    }
    DeleteFileW(upper.c_str());
    DeleteFileW(longer.c_str());
    DeleteFileW(prefixed.c_str());
    RemoveDirectoryW(folder.substr(0, folder.size() - 1).c_str());
}

void runCmdWaits()
{
    wintest::section("runCmd with wait: cmd.exe /C runs in the working folder and has ended on return");
    const std::wstring folder = wintest::tempFolder(L"kavni-cmd");
    const std::wstring marker = folder + L"marker.txt";
    DeleteFileW(marker.c_str());
    CHECK(wizard::sys::runCmd(L"echo done>marker.txt", folder, true, false));
    CHECK(exists(marker));
    DeleteFileW(marker.c_str());

    wintest::section(
        "runCmd with wait blocks while the command runs; programs are found in the working folder");
    const DWORD start = GetTickCount();
    CHECK(wizard::sys::runCmd(L"Ruvelk.exe 2", wintest::selfDirectory() + L"x64", true, false));
    const DWORD took = GetTickCount() - start;
    CHECK(took >= 1800);
    CHECK(wintest::pidsNamed(tool).empty());

    wintest::section("runCmd without wait returns at once and the command goes on");
    const DWORD start2 = GetTickCount();
    CHECK(wizard::sys::runCmd(L"Ruvelk.exe 30", wintest::selfDirectory() + L"x64", false, false));
    CHECK(GetTickCount() - start2 < 10000); // waiting would take the command's 30 s
    const DWORD pid = wintest::waitForProcess(tool, 5000);
    CHECK(pid != 0);
    CHECK(wizard::sys::killProcessByName(tool.c_str()));
    wintest::stopAll(tool);

    wintest::section("the command's own words reach cmd.exe: two commands, quotes");
    CHECK(wizard::sys::runCmd(L"echo one>\"a file.txt\" & echo two>b.txt", folder, true, false));
    CHECK(exists(folder + L"a file.txt"));
    CHECK(exists(folder + L"b.txt"));
    DeleteFileW((folder + L"a file.txt").c_str());
    DeleteFileW((folder + L"b.txt").c_str());

    wintest::section("a working folder that does not exist: the interpreter is not started");
    CHECK(!wizard::sys::runCmd(L"echo x>never.txt", folder + L"missing\\deeper", true, false));
    CHECK(!exists(L"never.txt"));
    DeleteFileW(L"never.txt");

    wintest::section("elevated: the runas verb starts the interpreter (Wine grants it without asking)");
    CHECK(wizard::sys::runCmd(L"echo up>elevated.txt", folder, true, true));
    CHECK(exists(folder + L"elevated.txt"));
    DeleteFileW((folder + L"elevated.txt").c_str());
    RemoveDirectoryW(folder.substr(0, folder.size() - 1).c_str());
}

void runCmdStartsTargetsWhole()
{
    wintest::section("runCmd \"start TARGET\": a target with spaces, & and brackets is opened whole");
    const std::wstring folder = wintest::tempFolder(L"kavni help & more (1)");
    const std::wstring target = folder + tool;
    CHECK(CopyFileW((wintest::selfDirectory() + tool).c_str(), target.c_str(), FALSE));
    wintest::stopAll(tool);
    CHECK(wizard::sys::runCmd(L"start " + target, L"", false, false));
    const DWORD pid = wintest::waitForProcess(tool, 5000);
    if (CHECK(pid != 0)) {
        std::wstring image = wintest::imagePathOf(pid);
        std::wstring expected = target;
        CharLowerW(image.data());
        CharLowerW(expected.data());
        CHECK_EQ(image, expected);
    }
    wintest::stopAll(tool);

    wintest::section("runCmd \"start TARGET\": a target with a double quote cannot be passed whole: refused");
    CHECK(!wizard::sys::runCmd(L"start " + folder + L"a\"b.exe", L"", false, false));
    Sleep(200);
    DeleteFileW(target.c_str());
    RemoveDirectoryW(folder.substr(0, folder.size() - 1).c_str());
}

void sixtyFourBit()
{
    wintest::section("a 64-bit build on a 64-bit system: not a 32-bit system, the tool starts from x64");
    BOOL underWow64 = TRUE;
    CHECK(IsWow64Process(GetCurrentProcess(), &underWow64) && !underWow64);
    CHECK(!wizard::sys::isNotWow64Process());
    std::wstring expected = wizard::sys::applicationDirectory();
    for (wchar_t& c : expected)
        if (c == L'\\')
            c = L'/';
    expected.pop_back();
    CHECK_EQ(wizard::sys::ruvelkFolder(), expected + L"/x64");
}

} // namespace

int main()
{
    killNone();
    killFirstOfTwo();
    killExactNameOnly();
    runCmdWaits();
    runCmdStartsTargetsWhole();
    sixtyFourBit();
    wintest::stopAll(tool);
    return wintest::finish();
}
