// Detail rows beyond what is kept in memory go to a temporary file and come back whole and in order.

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "figure/DetailRow.h"
#include "figure/DetailText.h"

namespace korvo::measurement {
namespace {

// Enough rows (about 14 MiB) to pass through the temporary file several times over.
constexpr std::uint64_t kRows = 500000;

std::string expectedRows(std::uint64_t first, std::uint64_t count) {
    std::string text;
    for (std::uint64_t row = first; row < first + count; ++row) {
        text += "Packet Number," + std::to_string(row) + ",Sequence Number,4294967295\n";
    }
    return text;
}

void writeRows(DetailText& text, std::uint64_t first, std::uint64_t count) {
    for (std::uint64_t row = first; row < first + count; ++row) {
        DetailRow(text)
            .text("Packet Number,")
            .number(row)
            .text(",Sequence Number,")
            .number(4294967295U)
            .end();
    }
}

TEST(DetailText, ManyRowsComeBackWholeAndInOrder) {
    DetailText text;
    EXPECT_TRUE(text.empty());
    writeRows(text, 0, kRows);
    EXPECT_FALSE(text.empty());
    std::string pieces;
    std::size_t pieceCount = 0;
    text.forEachPiece([&](std::string_view piece) {
        pieces.append(piece);
        ++pieceCount;
    });
    EXPECT_GT(pieceCount, 1U);
    EXPECT_EQ(pieces, expectedRows(0, kRows));
}

TEST(DetailText, RowsAddedAfterReadingFollowTheEarlierOnes) {
    DetailText text;
    writeRows(text, 0, kRows);
    EXPECT_EQ(text.str().size(), expectedRows(0, kRows).size());
    writeRows(text, kRows, kRows);
    EXPECT_EQ(text.str(), expectedRows(0, 2 * kRows));
}

// Appending keeps the order: the text's own rows (from its file and from memory), then the later text's rows
// (from its file and from memory, where it may hold more than the threshold), whichever of them are in files.
TEST(DetailText, AppendedTextsFollowInOrderWhereverTheirRowsAre) {
    constexpr std::uint64_t kFew = 1000;
    enum class Later { kSmall, kSpilled, kHeld };
    for (const bool earlierSpilled : {false, true}) {
        for (const Later kind : {Later::kSmall, Later::kSpilled, Later::kHeld}) {
            SCOPED_TRACE(std::to_string(earlierSpilled) + std::to_string(static_cast<int>(kind)));
            const std::uint64_t earlierRows = earlierSpilled ? kRows : kFew;
            const std::uint64_t laterRows = kind == Later::kSmall ? kFew : kRows;
            DetailText earlier;
            DetailText later;
            if (kind == Later::kHeld) {
                later.holdUpTo(std::size_t{64} << 20);
            }
            writeRows(earlier, 0, earlierRows);
            writeRows(later, earlierRows, laterRows);
            earlier.append(later);
            writeRows(earlier, earlierRows + laterRows, kFew);
            EXPECT_EQ(earlier.str(), expectedRows(0, earlierRows + laterRows + kFew));
            // The later text is read, not taken: it still holds its rows.
            EXPECT_EQ(later.str(), expectedRows(earlierRows, laterRows));
        }
    }
}

// A streaming text passes what it held (from its file and from memory) first, then its own rows and the
// texts appended to it in order, in pieces; whatever it still holds goes with the last flush.
TEST(DetailText, StreamedRowsReachTheSinkWholeAndInOrder) {
    DetailText text;
    writeRows(text, 0, kRows);
    std::string received;
    std::size_t pieces = 0;
    text.streamTo([&](std::string_view piece) {
        received.append(piece);
        ++pieces;
    });
    EXPECT_EQ(received, expectedRows(0, kRows));
    writeRows(text, kRows, kRows);
    std::uint64_t next = 2 * kRows;
    for (const std::uint64_t laterRows : {kRows, std::uint64_t{10}}) {
        DetailText later;
        // As a shard's copy holds them: in memory, past the usual threshold.
        later.holdUpTo(std::size_t{64} << 20);
        writeRows(later, next, laterRows);
        text.append(later);
        next += laterRows;
    }
    writeRows(text, next, 5);
    text.flush();
    EXPECT_EQ(received, expectedRows(0, next + 5));
    EXPECT_GT(pieces, 4U);
    EXPECT_TRUE(text.empty());
}

TEST(DetailText, UnusableTemporaryFolderIsReported) {
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("TMPDIR", "/nonexistent-wiretally-folder", 1);
    DetailText text;
    try {
        writeRows(text, 0, kRows);
        ADD_FAILURE() << "rows were kept without a temporary file";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(
            std::string(error.what()),
            "Cannot create the temporary file of detail rows in /nonexistent-wiretally-folder ($TMPDIR, else "
            "/tmp): No such file or directory");
    }
    if (previous != nullptr) {
        setenv("TMPDIR", saved.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}

}  // namespace
}  // namespace korvo::measurement
