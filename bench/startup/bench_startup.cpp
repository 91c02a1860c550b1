// SPDX-License-Identifier: MIT
// Start-up of the wizard against a bare window with one web view, side by side in one
// run, each started N times as a process of its own (default 9):
//   - the wizard, five-page layout: from process start to page 0's widgets on screen;
//   - the wizard, four-page layout (prnname=Card1): to page 1's HTML loaded and on screen;
//   - the yardstick bench_startup_bare: a 640 x 480 dialog with one web view loading the
//     same HTML page.
// For each: the median, minimum and maximum time, the median time the window was first
// mapped, and the memory of the process tree (the program and its web engine helpers) at
// the moment the content is on screen; then the wizard / yardstick ratios.
// Usage: bench_startup [runs=9] [--default-gl] [--steps] [--timeout=SECONDS] [--snapshots=DIR]
//   --steps      also runs bench_startup_steps (the wizard's start-up sequence with the
//                time of each step, and variants of the pages not shown first), seen on
//                screen the same way, and prints the median of each step
//   --snapshots  saves each window as DIR/SERIES-ROUND.ppm right after its content was seen
//   --timeout    bounds each start (default 30 s); a start that shows nothing is a failure
//
// How "on screen" is seen, from outside and without any switch in the wizard: the
// benchmark starts its own Xvfb server (-displayfd, no TCP, no window manager) and reads
// the window's pixels with core-protocol GetImage requests every 2 ms until the content
// is there:
//   - page 0: its title is drawn in pure red (the page's own style; nothing else in the
//     window is red): at least 40 pixels of #ff0000;
//   - an HTML page: the help page 1 of the benchmark's data set is the data set's page
//     with a 120 x 24 block of #ff00ff after its text; the page counts as shown when at
//     least 90 % of the block's pixels are on screen. The compositor hands a whole frame
//     over at once, so the text above the block is there too. Both programs load this file.
// The first start of each program is not counted: it warms the file cache and finds the
// rectangle the content lands in, so that the counted starts read only that rectangle
// (a few kilobytes a poll, next to nothing for the server and this process). The clock
// starts just before the process is spawned (CLOCK_MONOTONIC), the same for all programs;
// the programs take turns, so that the machine's other work falls on all of them alike.
//
// Memory: "Pss:" of /proc/PID/smaps_rollup summed over the process and all its
// descendants, read right after the content was seen, with the private part
// ("Private_Clean:" + "Private_Dirty:", USS) beside it. PSS shares a library's pages
// among every process on the machine that maps them, so other programs using the web
// engine at the same time lower it; USS does not count the pages the helpers share with
// each other. "once" is the tree's resident memory with each physical page counted once
// (frame numbers from /proc/PID/pagemap, root only), which no other program changes.
// After each start the whole tree is killed (the program, its process group
// and every orphaned helper, which this process inherits as subreaper) and reaped.
//
// Environment, the same for all programs: DISPLAY of the private server,
// QT_QPA_PLATFORM=xcb, QT_XCB_GL_INTEGRATION=none with QT_QUICK_BACKEND=software (the
// fast start under Xvfb; --default-gl leaves both unset), QTWEBENGINE_CHROMIUM_FLAGS=
// --disable-gpu, a private CUPS server with three queues, and fresh HOME, XDG_* folders;
// QTWEBENGINE_DISABLE_SANDBOX is removed, so each program applies its own rule for root.
#include "PrivateCups.h"
#include "WizardDataSet.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <memory>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

extern char** environ;

namespace {

using wizard::test::PrivateCups;
using wizard::test::WizardDataSet;

constexpr int windowWidth = 640;
constexpr int windowHeight = 480;
constexpr long long pollNs = 2'000'000;

long long nowNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

void sleepNs(long long ns)
{
    timespec span { static_cast<time_t>(ns / 1'000'000'000LL), static_cast<long>(ns % 1'000'000'000LL) };
    while (nanosleep(&span, &span) != 0 && errno == EINTR) { }
}

// ---- processes -------------------------------------------------------------

// Starts program in a process group of its own, standard output and error into log.
pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
    const std::vector<std::string>& environment, const std::string& log)
{
    std::vector<char*> argv { const_cast<char*>(program.c_str()) };
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Parent of every process, from /proc/PID/stat.
std::map<pid_t, pid_t> parentMap()
{
    std::map<pid_t, pid_t> parents;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // "PID (NAME) STATE PPID ...": NAME may hold spaces and parentheses.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            parents[pid] = fields.at(1).toInt();
    }
    return parents;
}

// root and every process below it.
std::set<pid_t> processTree(pid_t root, const std::set<pid_t>& excluded = {})
{
    const std::map<pid_t, pid_t> parents = parentMap();
    std::set<pid_t> tree { root };
    bool grew = true;
    while (grew) {
        grew = false;
        for (const auto& [pid, parent] : parents)
            if (tree.count(parent) && !tree.count(pid) && !excluded.count(pid)) {
                tree.insert(pid);
                grew = true;
            }
    }
    return tree;
}

// The "Pss:" and the private ("Private_Clean:" + "Private_Dirty:") memory of a process, in KiB.
struct Memory {
    long long pss = 0;
    long long uss = 0;
};

Memory memoryKib(pid_t pid)
{
    Memory memory;
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly))
        return memory;
    for (const QByteArray& row : rollup.readAll().split('\n')) {
        const long long kib = row.mid(row.indexOf(':') + 1).trimmed().split(' ').value(0).toLongLong();
        if (row.startsWith("Pss:"))
            memory.pss += kib;
        else if (row.startsWith("Private_Clean:") || row.startsWith("Private_Dirty:"))
            memory.uss += kib;
    }
    return memory;
}

// The resident memory of the processes with every physical page counted once, in KiB:
// what the tree holds whatever else runs on the machine (PSS and USS change with the
// other programs that map the same libraries). The frame numbers come from
// /proc/PID/pagemap, which gives them to the super-user only; -1 without them.
long long treeKib(const std::set<pid_t>& tree)
{
    const long pageSize = sysconf(_SC_PAGESIZE);
    std::unordered_set<uint64_t> frames;
    for (pid_t pid : tree) {
        QFile smaps(QStringLiteral("/proc/%1/smaps").arg(pid));
        const int pagemap
            = open(QStringLiteral("/proc/%1/pagemap").arg(pid).toLocal8Bit().constData(), O_RDONLY);
        if (pagemap < 0 || !smaps.open(QIODevice::ReadOnly)) {
            if (pagemap >= 0)
                close(pagemap);
            continue;
        }
        // Each mapping's line "START-END PERMS ..." is followed by its "Rss:" line; only
        // mappings with resident pages are looked up (the engine reserves gigabytes).
        uint64_t start = 0, end = 0;
        std::vector<uint64_t> entries;
        for (const QByteArray& row : smaps.readAll().split('\n')) {
            const int dash = row.indexOf('-');
            const int space = row.indexOf(' ');
            if (dash > 0 && space > dash && !row.left(space).contains(':')) {
                start = row.left(dash).toULongLong(nullptr, 16);
                end = row.mid(dash + 1, space - dash - 1).toULongLong(nullptr, 16);
                continue;
            }
            if (!row.startsWith("Rss:") || row.mid(4).trimmed().split(' ').value(0).toLongLong() == 0)
                continue;
            const uint64_t pages = (end - start) / static_cast<uint64_t>(pageSize);
            entries.resize(pages);
            const off_t offset = static_cast<off_t>(start / static_cast<uint64_t>(pageSize) * 8);
            const ssize_t got = pread(pagemap, entries.data(), pages * 8, offset);
            for (ssize_t i = 0; i < got / 8; ++i) {
                // Bit 63: present; bits 0-54: the frame (0 when not given to this user).
                const uint64_t frame = entries[static_cast<size_t>(i)] & ((1ULL << 55) - 1);
                if ((entries[static_cast<size_t>(i)] >> 63) && frame)
                    frames.insert(frame);
            }
        }
        close(pagemap);
    }
    return frames.empty() ? -1 : static_cast<long long>(frames.size()) * pageSize / 1024;
}

// Kills every process this one started or inherited as subreaper, except keep and
// what runs below it, and reaps them; false if some are still there after 10 s.
bool killAllBut(pid_t keep, pid_t group)
{
    const pid_t self = getpid();
    const long long deadline = nowNs() + 10'000'000'000LL;
    while (nowNs() < deadline) {
        if (group > 0)
            kill(-group, SIGKILL);
        std::set<pid_t> rest = processTree(self, { keep });
        rest.erase(self);
        for (pid_t pid : rest)
            kill(pid, SIGKILL);
        int status = 0;
        while (true) {
            const pid_t reaped = waitpid(-1, &status, WNOHANG);
            if (reaped <= 0)
                break;
        }
        if (rest.empty())
            return true;
        sleepNs(5'000'000);
    }
    return false;
}

// ---- the X server ----------------------------------------------------------

struct XServer {
    pid_t pid = -1;
    std::string display;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;

    ~XServer()
    {
        if (connection)
            xcb_disconnect(connection);
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }

    bool start(const std::string& log)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return false;
        // The write end goes to the server: its number is on the command line.
        const int writeEnd = fcntl(fds[1], F_DUPFD, 10);
        close(fds[1]);
        pid = spawn("/usr/bin/Xvfb",
            { "-displayfd", std::to_string(writeEnd), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                "-noreset" },
            { "PATH=/usr/bin:/bin" }, log);
        close(writeEnd);
        std::string number;
        pollfd wait { fds[0], POLLIN, 0 };
        while (number.find('\n') == std::string::npos && poll(&wait, 1, 10000) > 0) {
            char buffer[32];
            const ssize_t got = read(fds[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            number.append(buffer, static_cast<size_t>(got));
        }
        close(fds[0]);
        if (pid <= 0 || number.find('\n') == std::string::npos)
            return false;
        display = ":" + number.substr(0, number.find('\n'));
        connection = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(connection))
            return false;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        root = screen->root;
        return screen->root_depth == 24;
    }

    // The mapped top-level window of the wizard's size, or 0; the server runs
    // no window manager, so the program's own window is a child of the root.
    xcb_window_t findWindow() const
    {
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&free)> tree(
            xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr), &free);
        if (!tree)
            return 0;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        std::vector<xcb_get_window_attributes_cookie_t> attributes;
        std::vector<xcb_get_geometry_cookie_t> geometries;
        for (int i = 0; i < count; ++i) {
            attributes.push_back(xcb_get_window_attributes(connection, children[i]));
            geometries.push_back(xcb_get_geometry(connection, children[i]));
        }
        xcb_window_t found = 0;
        for (int i = 0; i < count; ++i) {
            std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> a(
                xcb_get_window_attributes_reply(connection, attributes[i], nullptr), &free);
            std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> g(
                xcb_get_geometry_reply(connection, geometries[i], nullptr), &free);
            if (a && g && a->map_state == XCB_MAP_STATE_VIEWABLE && g->width == windowWidth
                && g->height == windowHeight)
                found = children[i];
        }
        return found;
    }
};

// ---- what is on screen -----------------------------------------------------

struct Rect {
    int x = 0;
    int y = 0;
    int width = windowWidth;
    int height = windowHeight;
};

using PixelTest = bool (*)(unsigned r, unsigned g, unsigned b);

bool pageTitleRed(unsigned r, unsigned g, unsigned b)
{
    return r == 0xff && g == 0 && b == 0;
}

bool htmlMarker(unsigned r, unsigned g, unsigned b)
{
    return r == 0xff && g == 0 && b == 0xff;
}

// The pixels of area of window that pass test, with their bounding rectangle.
struct Matches {
    int count = -1;
    Rect bounds;
};

Matches readArea(const XServer& x, xcb_window_t window, const Rect& area, PixelTest test)
{
    Matches matches;
    std::unique_ptr<xcb_get_image_reply_t, decltype(&free)> image(
        xcb_get_image_reply(x.connection,
            xcb_get_image(x.connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, static_cast<int16_t>(area.x),
                static_cast<int16_t>(area.y), static_cast<uint16_t>(area.width),
                static_cast<uint16_t>(area.height), ~0u),
            nullptr),
        &free);
    // Depth 24 at 32 bits a pixel, least significant byte first: B, G, R, unused.
    if (!image || xcb_get_image_data_length(image.get()) != area.width * area.height * 4)
        return matches;
    const uint8_t* pixel = xcb_get_image_data(image.get());
    int left = area.width, top = area.height, right = -1, bottom = -1;
    matches.count = 0;
    for (int y = 0; y < area.height; ++y)
        for (int x0 = 0; x0 < area.width; ++x0, pixel += 4)
            if (test(pixel[2], pixel[1], pixel[0])) {
                ++matches.count;
                left = std::min(left, x0);
                right = std::max(right, x0);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (matches.count > 0)
        matches.bounds = { area.x + left, area.y + top, right - left + 1, bottom - top + 1 };
    return matches;
}

// The whole window as a binary PPM file, to look at what was on screen.
bool saveWindow(const XServer& x, xcb_window_t window, const std::string& path)
{
    std::unique_ptr<xcb_get_image_reply_t, decltype(&free)> image(
        xcb_get_image_reply(x.connection,
            xcb_get_image(
                x.connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, windowWidth, windowHeight, ~0u),
            nullptr),
        &free);
    if (!image || xcb_get_image_data_length(image.get()) != windowWidth * windowHeight * 4)
        return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    std::fprintf(file, "P6\n%d %d\n255\n", windowWidth, windowHeight);
    const uint8_t* pixel = xcb_get_image_data(image.get());
    for (int i = 0; i < windowWidth * windowHeight; ++i, pixel += 4) {
        const uint8_t rgb[3] = { pixel[2], pixel[1], pixel[0] };
        std::fwrite(rgb, 1, 3, file);
    }
    return std::fclose(file) == 0;
}

// ---- one series ------------------------------------------------------------

struct Series {
    std::string name;
    std::string program;
    std::vector<std::string> arguments;
    PixelTest test; // null: the program shows nothing and ends by itself
    int enough; // pixels that must pass the test
    Rect area {}; // where the content lands, found by the first start
    bool located = false;
    std::vector<double> shownMs {};
    std::vector<double> mappedMs {};
    std::vector<double> pssMib {};
    std::vector<double> ussMib {};
    std::vector<double> treeMib {};
    std::vector<double> processes {};
    // The "at" and "took" lines of bench_startup_steps, in the order first seen.
    std::vector<std::string> stepNames {};
    std::map<std::string, std::vector<double>> steps {};
};

struct Run {
    bool ok = false;
    double mappedMs = 0;
    double shownMs = 0;
    double pssMib = 0;
    double ussMib = 0;
    double treeMib = 0;
    int processes = 0;
    std::string failure;
};

// Starts the series' program once and waits until its content is on screen (or, for
// a program without a window, until it has ended); then kills its whole tree.
Run startOnce(XServer& x, Series& series, std::vector<std::string> environment, const std::string& log,
    double timeoutS, const std::string& snapshot)
{
    Run run;
    const long long started = nowNs();
    environment.push_back("KAVNI_BENCH_T0_NS=" + std::to_string(started));
    const pid_t child = spawn(series.program, series.arguments, environment, log);
    if (child <= 0) {
        run.failure = "cannot start " + series.program;
        return run;
    }
    const long long deadline = started + static_cast<long long>(timeoutS * 1e9);
    xcb_window_t window = 0;
    while (nowNs() < deadline) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            if (!series.test && WIFEXITED(status) && WEXITSTATUS(status) == 0)
                run.ok = true;
            else
                run.failure = "the program ended before its content was shown (see " + log + ")";
            break;
        }
        if (!series.test) {
            sleepNs(10 * pollNs);
            continue;
        }
        if (!window) {
            window = x.findWindow();
            if (window)
                run.mappedMs = static_cast<double>(nowNs() - started) / 1e6;
        }
        if (window) {
            // Until the first start has found the rectangle, the whole window is read
            // at a slower pace; that start is not counted anyway.
            const Matches seen = readArea(x, window, series.located ? series.area : Rect {}, series.test);
            if (seen.count >= series.enough) {
                run.shownMs = static_cast<double>(nowNs() - started) / 1e6;
                const std::set<pid_t> tree = processTree(child);
                for (pid_t pid : tree) {
                    const Memory memory = memoryKib(pid);
                    run.pssMib += static_cast<double>(memory.pss) / 1024.0;
                    run.ussMib += static_cast<double>(memory.uss) / 1024.0;
                    ++run.processes;
                }
                run.treeMib = static_cast<double>(treeKib(tree)) / 1024.0;
                if (!snapshot.empty())
                    saveWindow(x, window, snapshot);
                if (!series.located) {
                    series.area = seen.bounds;
                    series.located = true;
                }
                run.ok = true;
                break;
            }
            if (seen.count < 0)
                window = 0; // gone or not viewable any more
        }
        sleepNs(series.located ? pollNs : 10 * pollNs);
    }
    if (!run.ok && run.failure.empty())
        run.failure = "nothing shown within the time limit (see " + log + ")";
    if (!killAllBut(x.pid, child))
        std::fprintf(stderr, "warning: processes of %s survived SIGKILL\n", series.name.c_str());
    return run;
}

// Adds the "at NAME MS" and "took NAME MS" lines of a log to the series.
void readSteps(const std::string& log, Series& series)
{
    QFile file(QString::fromStdString(log));
    if (!file.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 3 || (fields.at(0) != "at" && fields.at(0) != "took"))
            continue;
        const std::string name = (fields.at(0) + ' ' + fields.at(1)).toStdString();
        if (!series.steps.count(name))
            series.stepNames.push_back(name);
        series.steps[name].push_back(fields.at(2).toDouble());
    }
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double minimum(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

double maximum(const std::vector<double>& values)
{
    return *std::max_element(values.begin(), values.end());
}

// The help page 1 of the data set, with the block that tells it is on screen.
const char markedPage[] = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>"
                          "html,body{margin:0;background:transparent;font-family:sans-serif;font-size:13px}"
                          "#shown{width:120px;height:24px;background:#ff00ff}"
                          "</style></head><body><p id=\"key\">Help page 1</p>"
                          "<p>The printer's firmware is brought to the version this wizard was made "
                          "for. Keep the printer switched on until the wizard says it has ended.</p>"
                          "<div id=\"shown\"></div></body></html>\n";

bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

std::vector<std::string> childEnvironment(const QMap<QString, QString>& overrides, const QStringList& removed)
{
    QMap<QString, QString> variables;
    for (char** entry = environ; *entry; ++entry) {
        const QString text = QString::fromLocal8Bit(*entry);
        const int equals = text.indexOf(QLatin1Char('='));
        if (equals > 0)
            variables.insert(text.left(equals), text.mid(equals + 1));
    }
    for (const QString& name : removed)
        variables.remove(name);
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it)
        variables.insert(it.key(), it.value());
    std::vector<std::string> environment;
    for (auto it = variables.cbegin(); it != variables.cend(); ++it)
        environment.push_back((it.key() + QLatin1Char('=') + it.value()).toStdString());
    return environment;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    int runs = 9;
    bool defaultGl = false;
    double timeoutS = 30;
    QString snapshots;
    bool withSteps = false;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1String("--default-gl"))
            defaultGl = true;
        else if (argument.startsWith(QLatin1String("--timeout=")))
            timeoutS = std::max(1.0, argument.mid(10).toDouble());
        else if (argument == QLatin1String("--steps"))
            withSteps = true;
        else if (argument.startsWith(QLatin1String("--snapshots=")))
            snapshots = argument.mid(12);
        else if (argument.toInt() > 0)
            runs = argument.toInt();
        else {
            std::fprintf(stderr,
                "usage: bench_startup [runs=9] [--default-gl] [--steps] [--timeout=SECONDS] "
                "[--snapshots=DIR]\n");
            return 2;
        }
    }

    if (!snapshots.isEmpty())
        QDir().mkpath(snapshots);
    QTemporaryDir work;
    const QString bin = QCoreApplication::applicationDirPath();
    WizardDataSet data;
    if (!work.isValid() || !data.write()
        || !writeFile(data.path(QStringLiteral("help/Common/en/page1.html")), markedPage)) {
        std::fprintf(stderr, "cannot write the data set\n");
        return 1;
    }
    const QString wizardProgram = data.installExecutable(bin + QStringLiteral("/kavni-wizard"));
    if (wizardProgram.isEmpty()) {
        std::fprintf(stderr, "cannot install %s/kavni-wizard beside the data set\n", qPrintable(bin));
        return 1;
    }

    PrivateCups cups(PrivateCups::Mode::Own);
    if (!cups.isRunning()
        || !cups.addQueue(
            QStringLiteral("Card1"), QStringLiteral("socket://127.0.0.1:9"), QStringLiteral("Talvor K1"))
        || !cups.addQueue(
            QStringLiteral("Card3"), QStringLiteral("socket://127.0.0.1:9"), QStringLiteral("Talvor K3"))
        || !cups.addQueue(QStringLiteral("Office"), QStringLiteral("socket://127.0.0.1:9"),
            QStringLiteral("Other Printer"))) {
        std::fprintf(stderr, "private CUPS server: %s\n", qPrintable(cups.lastError()));
        return 1;
    }

    // From here on, whatever a started program leaves behind becomes a child of this
    // process and is killed with it (the CUPS server was started before: not ours to kill).
    prctl(PR_SET_CHILD_SUBREAPER, 1);

    const std::string logs = work.filePath(QStringLiteral("logs")).toStdString();
    QDir().mkpath(QString::fromStdString(logs));
    XServer x;
    if (!x.start(logs + "/Xvfb.log")) {
        std::fprintf(stderr, "cannot start Xvfb (see %s/Xvfb.log)\n", logs.c_str());
        work.setAutoRemove(false);
        return 1;
    }

    for (const char* folder : { "home", "runtime", "config", "config-dirs", "cache", "data" })
        QDir().mkpath(work.filePath(QLatin1String(folder)));
    QFile::setPermissions(
        work.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QMap<QString, QString> overrides {
        { QStringLiteral("DISPLAY"), QString::fromStdString(x.display) },
        { QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb") },
        { QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-gpu") },
        { QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.webenginecontext.info=false") },
        { QStringLiteral("CUPS_SERVER"), cups.server() },
        { QStringLiteral("HOME"), work.filePath(QStringLiteral("home")) },
        { QStringLiteral("XDG_RUNTIME_DIR"), work.filePath(QStringLiteral("runtime")) },
        { QStringLiteral("XDG_CONFIG_HOME"), work.filePath(QStringLiteral("config")) },
        // No trace switch there: the wizard runs with its trace off, as it ships.
        { QStringLiteral("XDG_CONFIG_DIRS"), work.filePath(QStringLiteral("config-dirs")) },
        { QStringLiteral("XDG_CACHE_HOME"), work.filePath(QStringLiteral("cache")) },
        { QStringLiteral("XDG_DATA_HOME"), work.filePath(QStringLiteral("data")) },
    };
    QStringList removed { QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("KAVNI_TRACE_FILE"),
        QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("XAUTHORITY") };
    if (defaultGl)
        removed << QStringLiteral("QT_XCB_GL_INTEGRATION") << QStringLiteral("QT_QUICK_BACKEND");
    else {
        overrides.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
        overrides.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    }
    const std::vector<std::string> environment = childEnvironment(overrides, removed);

    const std::string wizard = wizardProgram.toStdString();
    const std::string page = data.path(QStringLiteral("help/Common/en/page1.html")).toStdString();
    const std::string steps = (bin + QStringLiteral("/bench_startup_steps")).toStdString();
    const std::string folder = data.applicationDir().toStdString();
    constexpr int markerShown = 120 * 24 * 9 / 10;
    std::vector<Series> series {
        { "wizard, five pages: page 0 widgets", wizard, {}, pageTitleRed, 40 },
        { "wizard, four pages: page 1 HTML", wizard, { "prnname=Card1" }, htmlMarker, markerShown },
        { "bare dialog, one web view: HTML", (bin + QStringLiteral("/bench_startup_bare")).toStdString(),
            { page }, htmlMarker, markerShown },
    };
    if (withSteps) {
        for (const char* hidden : { "full", "idle", "none", "later" })
            series.push_back({ std::string("steps, five pages, hidden pages ") + hidden, steps,
                { folder, std::string("--hidden=") + hidden }, pageTitleRed, 40 });
        for (const char* hidden : { "full", "idle", "none", "later" })
            series.push_back({ std::string("steps, four pages, hidden pages ") + hidden, steps,
                { folder, "prnname=Card1", std::string("--hidden=") + hidden }, htmlMarker, markerShown });
        series.push_back(
            { "steps, the parts alone", steps, { folder, "--parts", "prnname=Card1" }, nullptr, 0 });
    }

    std::printf("bench_startup: %d starts each, Xvfb %s 1024x768x24, %s, --disable-gpu\n", runs,
        x.display.c_str(),
        defaultGl ? "default GL integration" : "QT_XCB_GL_INTEGRATION=none QT_QUICK_BACKEND=software");
    int failures = 0;
    // The first start of each is not counted; then they take turns, so that
    // whatever else the machine does falls on all of them alike.
    for (int round = -1; round < runs; ++round) {
        for (size_t index = 0; index < series.size(); ++index) {
            Series& s = series[index];
            const std::string log
                = logs + "/" + std::to_string(index) + "-" + std::to_string(round + 1) + ".log";
            const std::string snapshot = snapshots.isEmpty() || !s.test
                ? std::string()
                : QDir(snapshots)
                      .filePath(QStringLiteral("%1-%2.ppm").arg(index).arg(round + 1))
                      .toStdString();
            const Run run = startOnce(x, s, environment, log, timeoutS, snapshot);
            // Let the server and the machine settle after the kill.
            sleepNs(200'000'000);
            if (!run.ok) {
                std::fprintf(stderr, "%s: %s\n", s.name.c_str(), run.failure.c_str());
                ++failures;
                continue;
            }
            if (round < 0)
                continue;
            readSteps(log, s);
            if (!s.test)
                continue;
            s.shownMs.push_back(run.shownMs);
            s.mappedMs.push_back(run.mappedMs);
            s.pssMib.push_back(run.pssMib);
            s.ussMib.push_back(run.ussMib);
            s.treeMib.push_back(run.treeMib);
            s.processes.push_back(run.processes);
        }
    }
    if (failures > 0) {
        work.setAutoRemove(false);
        std::fprintf(stderr, "%d start(s) failed; logs kept in %s\n", failures, logs.c_str());
    }
    for (const Series& s : series)
        if (s.test && s.shownMs.empty())
            return 1;

    std::printf("%-40s %8s %6s %6s %7s  %7s %6s %6s %7s %7s %5s\n", "median of the starts", "shown ms", "min",
        "max", "mapped", "PSS MiB", "min", "max", "USS MiB", "once", "procs");
    for (const Series& s : series)
        if (s.test)
            std::printf("%-40s %8.1f %6.1f %6.1f %7.1f  %7.1f %6.1f %6.1f %7.1f %7.1f %5.0f\n",
                s.name.c_str(), median(s.shownMs), minimum(s.shownMs), maximum(s.shownMs), median(s.mappedMs),
                median(s.pssMib), minimum(s.pssMib), maximum(s.pssMib), median(s.ussMib), median(s.treeMib),
                median(s.processes));
    const auto verdict = [](double ratio, double goal) { return ratio <= goal ? "met" : "missed"; };
    for (int i = 0; i < 2; ++i) {
        const double time = median(series[i].shownMs) / median(series[2].shownMs);
        const double memory = median(series[i].pssMib) / median(series[2].pssMib);
        const double once = median(series[i].treeMib) / median(series[2].treeMib);
        std::printf(
            "%-40s time %.2f x (goal 1.30: %s); memory PSS %.2f x, pages once %.2f x (goal 1.50: %s, %s)\n",
            series[i].name.c_str(), time, verdict(time, 1.3), memory, once, verdict(memory, 1.5),
            verdict(once, 1.5));
    }
    double load[3] = {};
    if (getloadavg(load, 3) == 3)
        std::printf("load average at the end: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    for (const Series& s : series) {
        if (s.stepNames.empty())
            continue;
        std::printf("\n%s: median ms (\"at\": since the spawn; \"took\": how long)\n", s.name.c_str());
        for (const std::string& name : s.stepNames)
            std::printf("  %-58s %8.1f\n", name.c_str(), median(s.steps.at(name)));
    }
    return 0;
}
