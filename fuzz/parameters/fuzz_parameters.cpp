// SPDX-License-Identifier: MIT
// libFuzzer target: readParameterFile on arbitrary file contents. The bytes are
// put in an anonymous in-memory file and read back through its /proc path, so
// the reader opens, sizes and reads a real file as it does in the wizard.
#include "foundation/ParameterFile.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

int memoryFile()
{
    static const int fd = memfd_create("parameters", 0);
    if (fd < 0)
        std::abort();
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = memoryFile();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    static const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);

    wizard::ParameterMap map;
    wizard::readParameterFile(path, &map);
    // Every backslash-n pair of a value has become a line feed, and none can re-form.
    for (const QString& value : map) {
        if (value.contains(QLatin1String("\\n")))
            std::abort();
    }
    return 0;
}
