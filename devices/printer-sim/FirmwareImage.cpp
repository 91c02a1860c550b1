// SPDX-License-Identifier: MIT
#include "FirmwareImage.h"

#include <cstdint>
#include <cstring>

namespace wizard::sim {

static const char magic[4] = { 'T', 'F', 'W', '1' };

bool FirmwareImage::versionFromHeader(const char* header, std::size_t size, std::string& version)
{
    if (size < HeaderSize || std::memcmp(header, magic, sizeof magic) != 0)
        return false;
    const char* field = header + sizeof magic;
    std::size_t length = 0;
    while (length < VersionSize && field[length] != '\0')
        ++length;
    // The field must end in NUL padding so a reader can treat it as a C string.
    if (length == 0 || length == VersionSize)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (field[i] < 0x21 || field[i] > 0x7E)
            return false;
    }
    version.assign(field, length);
    return true;
}

std::string FirmwareImage::build(const std::string& version, std::size_t bodySize)
{
    std::string image(magic, sizeof magic);
    std::string field = version.substr(0, VersionSize - 1);
    field.resize(VersionSize, '\0');
    image += field;
    image.reserve(HeaderSize + bodySize);
    // A pattern that runs through every byte value, so frames carry ESC, CR,
    // ";" and "." in their body as a real image does.
    std::uint32_t x = 0x12345678u;
    for (std::size_t i = 0; i < bodySize; ++i) {
        x = x * 1664525u + 1013904223u;
        image += static_cast<char>(x >> 24);
    }
    return image;
}

} // namespace wizard::sim
