// What the loader tells about its place in the input: the size of a regular file, the bytes consumed from a
// file and from a pipe (which cannot tell its position), of a compressed file and of several files, and how
// often it calls its progress hook.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "capture/PacketLoader.h"
#include "support/CaptureRecords.h"
#include "tools/FrameBuilder.h"
#include "tools/PcapWriter.h"

namespace korvo::measurement {
namespace {

class PacketLoaderPosition : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("wiretally-loader-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // A capture of `frames` TCP segments of differing sizes; returns its size in bytes.
    std::uint64_t writeCapture(const std::filesystem::path& path, std::uint32_t frames) const {
        tools::PcapWriter writer(path.string());
        for (std::uint32_t index = 0; index < frames; ++index) {
            const auto frame = tools::FrameBuilder()
                                   .ipv4(0x0A000001, 0x0A000002)
                                   .tcp(1, 2, index)
                                   .payload(index % 7)
                                   .build();
            writer.write(1204726029, index, frame);
        }
        writer.close();
        return std::filesystem::file_size(path);
    }

    std::filesystem::path folder;
    EthernetSignal ethernetSignal;
};

TEST_F(PacketLoaderPosition, RegularFileIsConsumedToItsSize) {
    const auto path = folder / "in.pcap";
    const std::uint64_t size = writeCapture(path, 10000);

    PacketLoader loader({path.string()}, "");
    ASSERT_TRUE(loader.inputSize().has_value());
    EXPECT_EQ(*loader.inputSize(), size);
    std::vector<std::uint64_t> positions;
    loader.loadPackets(ethernetSignal, [&] { positions.push_back(loader.bytesConsumed()); });

    EXPECT_EQ(loader.bytesConsumed(), size);
    // Called after frames 4096 and 8192, each time further into the file.
    ASSERT_EQ(positions.size(), 2U);
    EXPECT_GT(positions[0], 4096U * 16);
    EXPECT_GT(positions[1], positions[0]);
    EXPECT_LT(positions[1], size);
}

TEST_F(PacketLoaderPosition, PipeHasNoSizeAndCountsTheBytesOfItsRecords) {
    const auto capture = folder / "in.pcap";
    const std::uint64_t size = writeCapture(capture, 5000);
    const auto fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opening a pipe for reading waits for its writer, so the writer runs beside the loader.
    std::thread writer([&] {
        std::ifstream source(capture, std::ios::binary);
        std::ofstream sink(fifo, std::ios::binary);
        sink << source.rdbuf();
    });

    PacketLoader loader({fifo.string()}, "");
    EXPECT_FALSE(loader.inputSize().has_value());
    loader.loadPackets(ethernetSignal);
    writer.join();

    EXPECT_EQ(loader.bytesConsumed(), size);
}

TEST_F(PacketLoaderPosition, CompressedFileIsMeasuredInCompressedBytes) {
    const auto plain = folder / "in.pcap";
    const std::uint64_t plainSize = writeCapture(plain, 10000);
    const auto compressed = folder / "in.pcap.gz";
    e2e::writeFileBytes(compressed, e2e::gzipCompressed(e2e::fileBytes(plain)));
    const std::uint64_t size = std::filesystem::file_size(compressed);
    ASSERT_LT(size, plainSize);

    PacketLoader loader({compressed.string()}, "");
    ASSERT_TRUE(loader.inputSize().has_value());
    EXPECT_EQ(*loader.inputSize(), size);
    std::vector<std::uint64_t> positions;
    loader.loadPackets(ethernetSignal, [&] { positions.push_back(loader.bytesConsumed()); });

    EXPECT_EQ(loader.framesTaken(), 10000U);
    EXPECT_EQ(loader.bytesConsumed(), size);
    ASSERT_EQ(positions.size(), 2U);
    EXPECT_LE(positions[1], size);
}

TEST_F(PacketLoaderPosition, SeveralFilesAddUpTheirSizesAndPositions) {
    const std::uint64_t first = writeCapture(folder / "a.pcap", 3000);
    const std::uint64_t second = writeCapture(folder / "b.pcap", 2000);

    PacketLoader loader({(folder / "a.pcap").string(), (folder / "b.pcap").string()}, "");
    ASSERT_TRUE(loader.inputSize().has_value());
    EXPECT_EQ(*loader.inputSize(), first + second);
    loader.loadPackets(ethernetSignal);

    EXPECT_EQ(loader.framesTaken(), 5000U);
    EXPECT_EQ(loader.bytesConsumed(), first + second);
}

}  // namespace
}  // namespace korvo::measurement
