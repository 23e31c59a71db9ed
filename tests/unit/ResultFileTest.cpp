// A result file receives every byte in order whatever the sizes of its writes: small ones gathered in its
// buffer, large ones passed on whole, past the point where the file is sent on to the disk behind the
// writing and let go of from memory.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/InterruptWatcher.h"
#include "app/ResultFile.h"

namespace korvo::measurement {
namespace {

// The byte at `offset` of the file: it changes from byte to byte and from MiB to MiB, so that a piece
// written twice, dropped or out of order shows.
char byteAt(std::uint64_t offset) {
    return static_cast<char>((offset * 131 + (offset >> 20) * 7) & 0xFF);
}

TEST(ResultFileTest, KeepsEveryByteInOrderThroughWritesOfAnySize) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("wiretally-resultfile-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string name = (folder / "big.csv").string();
    // Past the 64 MiB where the file starts going to the disk behind the writing, and by several parts.
    constexpr std::uint64_t kSize = std::uint64_t{100} << 20;
    {
        ResultFile file(name);
        std::mt19937 random(2024);
        std::uniform_int_distribution<std::uint64_t> small(0, 300);
        std::uniform_int_distribution<std::uint64_t> large(1, std::uint64_t{3} << 20);
        std::string piece;
        for (std::uint64_t written = 0; written < kSize;) {
            // Mostly rows, now and then a shard's held rows of up to 3 MiB.
            const std::uint64_t length =
                std::min(kSize - written, random() % 50 == 0 ? large(random) : small(random));
            piece.resize(length);
            for (std::uint64_t index = 0; index < length; ++index) {
                piece[index] = byteAt(written + index);
            }
            file.write(piece);
            written += length;
        }
        file.finish();
        const InterruptWatcher::StopHold hold;
        file.place(hold);
    }
    std::ifstream in(name, std::ios::binary);
    std::vector<char> block(std::size_t{1} << 20);
    std::uint64_t offset = 0;
    std::uint64_t wrong = 0;
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
        for (std::streamsize index = 0; index < in.gcount(); ++index, ++offset) {
            wrong += block[static_cast<std::size_t>(index)] != byteAt(offset) ? 1U : 0U;
        }
    }
    std::filesystem::remove_all(folder);
    EXPECT_EQ(offset, kSize);
    EXPECT_EQ(wrong, 0U);
}

}  // namespace
}  // namespace korvo::measurement
