// SPDX-License-Identifier: MIT
// Replays committed fuzz inputs once each through a fuzz target's entry point, so
// that a parser that starts crashing on a known input fails the ordinary test run
// (built with the ordinary compiler; libFuzzer is not needed to replay).
// Usage: fuzz_replay_NAME CORPUS-FOLDER...   Fails when a folder is missing or empty.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER...\n", argv[0]);
        return 2;
    }
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        std::vector<std::filesystem::path> inputs;
        for (const auto& entry : std::filesystem::directory_iterator(argv[i], error))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
        if (error || inputs.empty()) {
            std::fprintf(stderr, "no inputs in %s\n", argv[i]);
            return 1;
        }
        std::sort(inputs.begin(), inputs.end());
        for (const auto& input : inputs) {
            std::ifstream file(input, std::ios::binary);
            const std::vector<char> bytes { std::istreambuf_iterator<char>(file),
                std::istreambuf_iterator<char>() };
            // Named first: a crash ends the process before anything else can be said.
            std::fprintf(stderr, "replay %s (%zu bytes)\n", input.filename().c_str(), bytes.size());
            // A copy of exactly the input's size, as libFuzzer hands it over, so a read
            // past its end is one past the allocation.
            std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
            LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
            ++replayed;
        }
    }
    std::printf("%d inputs replayed\n", replayed);
    return 0;
}
