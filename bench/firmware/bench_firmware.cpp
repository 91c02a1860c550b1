// SPDX-License-Identifier: MIT
// Sends a 16 MiB firmware download frame the way the firmware page does (file
// read straight into one zero-filled frame buffer, one Write through the comm
// layer, one Read for the printer's verdict) to the virtual printer behind a
// private CUPS queue, and the same bytes over a plain loopback TCP connection,
// in the same run. Prints the throughput of both and what the wizard's side
// held in memory while doing it.
//
//     bench_firmware [runs] [MiB]
#include "comm/FactoryCommLayer.h"
#include "comm/IMCommLayer.h"
#include "comm/PrinterCommands.h"

#include "PrinterSim.h"
#include "PrivateCups.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <new>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using wizard::PrinterCommands;

// Every C++ allocation of the process is counted, so the figures show what the
// frame and the layer cost; the library's own buffers count too.
namespace {
std::atomic<std::size_t> allocatedBytes { 0 };
std::atomic<std::size_t> largestAllocation { 0 };
std::atomic<bool> counting { false };

void noteAllocation(std::size_t size)
{
    if (!counting.load(std::memory_order_relaxed))
        return;
    allocatedBytes += size;
    std::size_t largest = largestAllocation.load();
    while (size > largest && !largestAllocation.compare_exchange_weak(largest, size)) { }
}
} // namespace

void* operator new(std::size_t size)
{
    noteAllocation(size);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    noteAllocation(size);
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

long statusKiB(const char* field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// The peak resident size starts again from the current size.
bool resetPeak()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    return file.open(QIODevice::WriteOnly) && file.write("5") == 1;
}

struct Sample {
    double seconds = 0;
    std::size_t frameBytes = 0;
    std::size_t allocated = 0;
    std::size_t largest = 0;
    long peakGrowthKiB = -1;
    QByteArray reply;
};

// The firmware page's way: size, one zero-filled buffer of size + 126, the
// header, the file read in place, the trailer, one Write and one Read.
bool sendThroughLayer(const QString& firmware, const std::wstring& queue, Sample& sample)
{
    const bool peakReset = resetPeak();
    const long rssBefore = statusKiB("VmRSS:");
    allocatedBytes = 0;
    largestAllocation = 0;
    counting = true;

    std::FILE* file = std::fopen(QFile::encodeName(firmware).constData(), "rb");
    if (!file)
        return false;
    std::fseek(file, 0, SEEK_END);
    const auto size = static_cast<std::size_t>(std::ftell(file));
    std::fseek(file, 0, SEEK_SET);
    const std::size_t capacity = PrinterCommands::downloadFrameCapacity(size);
    std::unique_ptr<char[]> frame(new (std::nothrow) char[capacity]());
    const std::size_t header = frame ? PrinterCommands::writeDownloadHeader(frame.get(), capacity, size) : 0;
    const bool read = header && std::fread(frame.get() + header, 1, size, file) == size;
    std::fclose(file);
    const std::size_t length
        = read ? PrinterCommands::finishDownloadFrame(frame.get(), capacity, header, size) : 0;
    if (length == 0)
        return false;

    std::unique_ptr<wizard::IMCommLayer> layer(
        wizard::FactoryCommLayer::Build(nullptr, 0, nullptr, 1, 0, 0, 0, 0));
    if (!layer || !layer->Open(queue.c_str()))
        return false;
    layer->SetTimeout(PrinterCommands::downloadTimeoutMs);
    char reply[PrinterCommands::replyCapacity] = {};
    std::int32_t received = 0;
    QElapsedTimer timer;
    timer.start();
    const bool sent = layer->Write(frame.get(), static_cast<std::int32_t>(length))
        && layer->Read(reply, sizeof reply, &received);
    sample.seconds = double(timer.nsecsElapsed()) / 1e9;
    layer->Close();
    layer.reset();

    counting = false;
    sample.frameBytes = length;
    sample.allocated = allocatedBytes;
    sample.largest = largestAllocation;
    sample.peakGrowthKiB = peakReset ? statusKiB("VmHWM:") - rssBefore : -1;
    sample.reply = QByteArray(reply);
    return sent;
}

bool sendAll(int fd, const char* bytes, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = ::send(fd, bytes, length, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        bytes += n;
        length -= std::size_t(n);
    }
    return true;
}

// The same bytes over one loopback TCP connection to a reader that takes them
// all and answers with one byte.
bool sendRaw(const std::vector<char>& bytes, double& seconds)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t addressLength = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, 1) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &addressLength) != 0) {
        if (listener >= 0)
            ::close(listener);
        return false;
    }
    std::thread reader([listener, expected = bytes.size()] {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            return;
        std::vector<char> chunk(1024 * 1024);
        std::size_t total = 0;
        while (total < expected) {
            const ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
            if (n <= 0)
                break;
            total += std::size_t(n);
        }
        sendAll(fd, "K", 1);
        ::close(fd);
    });
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    QElapsedTimer timer;
    timer.start();
    char ack = 0;
    ok = ok && sendAll(fd, bytes.data(), bytes.size()) && ::recv(fd, &ack, 1, MSG_WAITALL) == 1;
    seconds = double(timer.nsecsElapsed()) / 1e9;
    if (fd >= 0)
        ::close(fd);
    reader.join();
    ::close(listener);
    return ok && ack == 'K';
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    // Large blocks always straight from the system and back to it when freed,
    // so the resident size shows what is alive (glibc would otherwise keep a
    // freed 16 MiB block resident and reuse it).
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const int mebibytes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 16;
    const int imageSize = mebibytes * 1024 * 1024;

    wizard::test::PrivateCups cups(wizard::test::PrivateCups::Mode::Own);
    if (!cups.isRunning()) {
        std::fprintf(stderr, "private CUPS server: %s\n", qPrintable(cups.lastError()));
        return 1;
    }
    cups.useForThisProcess();
    wizard::test::PrinterSim::Options options;
    options.restartMs = 50;
    wizard::test::PrinterSim printer(options);
    const QString queue = wizard::test::PrivateCups::uniqueName(QStringLiteral("bench-firmware-"));
    if (!printer.start() || !printer.registerQueue(cups, queue)) {
        std::fprintf(stderr, "virtual printer: %s\n", qPrintable(printer.lastError()));
        return 1;
    }

    QTemporaryDir dir;
    const QString firmware = dir.filePath(QStringLiteral("firmware.bin"));
    {
        QFile file(firmware);
        const QByteArray image = wizard::test::PrinterSim::firmwareImage("F9999", imageSize - 20);
        if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
            return 1;
    }

    std::printf("firmware image %d bytes, %d runs each\n", imageSize, runs);
    std::vector<double> layerSeconds;
    std::vector<double> rawSeconds;
    Sample last;
    std::size_t frameBytes = 0;
    for (int run = 0; run < runs; ++run) {
        Sample sample;
        if (!sendThroughLayer(firmware, queue.toStdWString(), sample)) {
            std::fprintf(stderr, "run %d: the frame did not go through (reply \"%s\")\n", run,
                sample.reply.constData());
            return 1;
        }
        if (sample.reply != "OK") {
            std::fprintf(
                stderr, "run %d: the printer refused the frame: \"%s\"\n", run, sample.reply.constData());
            return 1;
        }
        layerSeconds.push_back(sample.seconds);
        frameBytes = sample.frameBytes;
        last = sample;
        // The printer restarts after an accepted download.
        if (!printer.waitUntilUp(10000)) {
            std::fprintf(stderr, "run %d: the printer did not come back\n", run);
            return 1;
        }

        // The raw transfer carries the very bytes of the frame.
        std::vector<char> bytes(frameBytes);
        {
            QFile file(firmware);
            if (!file.open(QIODevice::ReadOnly))
                return 1;
            const QByteArray image = file.readAll();
            PrinterCommands::buildDownloadFrame(
                image.constData(), std::size_t(image.size()), bytes.data(), bytes.size());
        }
        double seconds = 0;
        if (!sendRaw(bytes, seconds)) {
            std::fprintf(stderr, "run %d: raw loopback transfer failed\n", run);
            return 1;
        }
        rawSeconds.push_back(seconds);
    }

    const double mib = double(frameBytes) / (1024.0 * 1024.0);
    const double layerRate = mib / median(layerSeconds);
    const double rawRate = mib / median(rawSeconds);
    const double layerBest = mib / *std::min_element(layerSeconds.begin(), layerSeconds.end());
    const double rawBest = mib / *std::min_element(rawSeconds.begin(), rawSeconds.end());
    std::printf("frame                    %zu bytes\n", frameBytes);
    std::printf(
        "comm layer -> library -> virtual printer: median %8.1f ms  %8.1f MiB/s  (best %8.1f MiB/s)\n",
        median(layerSeconds) * 1e3, layerRate, layerBest);
    std::printf(
        "raw loopback TCP                         : median %8.1f ms  %8.1f MiB/s  (best %8.1f MiB/s)\n",
        median(rawSeconds) * 1e3, rawRate, rawBest);
    std::printf("ratio                    %.1f %% of raw by medians, %.1f %% by best runs (goal >= 70 %%)\n",
        100.0 * layerRate / rawRate, 100.0 * layerBest / rawBest);
    std::printf(
        "wizard side, last run: C++ allocations %zu bytes in all, largest %zu bytes (file %d bytes)\n",
        last.allocated, last.largest, imageSize);
    if (last.peakGrowthKiB >= 0)
        std::printf(
            "peak resident growth, last run: %ld KiB (file %d KiB)\n", last.peakGrowthKiB, imageSize / 1024);
    return 0;
}
