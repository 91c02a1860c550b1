// SPDX-License-Identifier: MIT
// The printer's firmware image: "TFW1", then the version text in 16 bytes
// (ASCII, NUL-padded, at most 15 characters), then the body, any bytes.
// The printer reports the version text in answer to "\eRfv\r" once it has
// restarted with the image.
#pragma once

#include <cstddef>
#include <string>

namespace wizard::sim {

class FirmwareImage {
public:
    static constexpr std::size_t HeaderSize = 20;
    static constexpr std::size_t VersionSize = 16;

    // The version carried by an image whose first bytes are `header`; false when
    // the header is not that of an image or the version is empty or not printable.
    static bool versionFromHeader(const char* header, std::size_t size, std::string& version);
    // A valid image with a body of `bodySize` bytes in a fixed pattern.
    static std::string build(const std::string& version, std::size_t bodySize);
};

} // namespace wizard::sim
