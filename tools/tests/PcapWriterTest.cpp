#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/FrameBuilder.h"
#include "tools/PcapWriter.h"
#include "tools/tests/CaptureReadBack.h"

namespace {

using korvo::tools::FrameBuilder;
using korvo::tools::PcapWriter;
using ReadBack = korvo::tools::testing::CaptureReadBack;

class PcapWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() / (std::string("wiretally-writer-") + test->name() +
                                                          "-" + std::to_string(::getpid()) + ".pcap");
    }
    void TearDown() override { std::filesystem::remove(path_); }

    std::vector<std::uint8_t> fileBytes() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path path_;
};

TEST_F(PcapWriterTest, FileHeaderIsClassicLittleEndianPcap) {
    {
        PcapWriter writer(path_.string(), 65535, 1);
        EXPECT_EQ(writer.bytesWritten(), 24U);
        writer.close();
    }
    const std::vector<std::uint8_t> expected = {0xd4, 0xc3, 0xb2, 0xa1, 2,    0,    4, 0, 0, 0, 0, 0,
                                                0,    0,    0,    0,    0xff, 0xff, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(fileBytes(), expected);
}

TEST_F(PcapWriterTest, RecordsReadBackThroughLibpcapWithTheirLengthsAndTimes) {
    const auto full = FrameBuilder().ipv4(1, 2).tcp(1000, 80, 1).payload(1460).build();
    const auto small = FrameBuilder().ipv4(2, 1).tcp(80, 1000, 9).build();
    {
        PcapWriter writer(path_.string());
        writer.write(1700000000, 1, full);
        writer.writeRecord(1700000000, 999999, std::span(full).first(60), 1514);
        writer.writeRecord(1700000001, 0, small, 40);
        EXPECT_EQ(writer.bytesWritten(), 24U + 3 * 16U + 1514U + 60U + 54U);
    }
    EXPECT_EQ(std::filesystem::file_size(path_), 24U + 3 * 16U + 1514U + 60U + 54U);

    const ReadBack capture(path_);
    EXPECT_EQ(capture.lastResult, PCAP_ERROR_BREAK) << "the file ends cleanly after the last record";
    EXPECT_EQ(capture.linkType, DLT_EN10MB);
    EXPECT_EQ(capture.snapLength, 262144);
    ASSERT_EQ(capture.records.size(), 3U);
    EXPECT_EQ(capture.records[0].bytes, full);
    EXPECT_EQ(capture.records[0].wireLength, 1514U);
    EXPECT_EQ(capture.records[0].timestamp.tv_sec, 1700000000);
    EXPECT_EQ(capture.records[0].timestamp.tv_usec, 1);
    EXPECT_EQ(capture.records[1].bytes, std::vector<std::uint8_t>(full.begin(), full.begin() + 60));
    EXPECT_EQ(capture.records[1].wireLength, 1514U);
    EXPECT_EQ(capture.records[1].timestamp.tv_usec, 999999);
    EXPECT_EQ(capture.records[2].bytes.size(), 54U) << "captured length may exceed the wire length";
    EXPECT_EQ(capture.records[2].wireLength, 40U);
    EXPECT_EQ(capture.records[2].timestamp.tv_sec, 1700000001);
}

TEST_F(PcapWriterTest, ManyRecordsCrossTheBufferBoundaryIntact) {
    constexpr std::uint32_t kRecords = 20000;
    std::vector<std::uint8_t> frame = FrameBuilder().ipv4(1, 2).tcp(1, 2, 0).payload(400).build();
    {
        PcapWriter writer(path_.string());
        for (std::uint32_t i = 0; i < kRecords; ++i) {
            frame.back() = static_cast<std::uint8_t>(i);
            writer.write(i, 0, frame);
        }
        writer.close();
        EXPECT_EQ(writer.bytesWritten(), std::filesystem::file_size(path_));
    }
    const ReadBack capture(path_);
    ASSERT_EQ(capture.records.size(), kRecords);
    for (std::uint32_t i = 0; i < kRecords; i += 997) {
        EXPECT_EQ(capture.records[i].timestamp.tv_sec, static_cast<time_t>(i));
        EXPECT_EQ(capture.records[i].bytes.back(), static_cast<std::uint8_t>(i));
    }
}

TEST_F(PcapWriterTest, RawBytesMakeADamagedFileThatLibpcapRejects) {
    const auto frame = FrameBuilder().ipv4(1, 2).tcp(1, 2, 0).build();
    {
        PcapWriter writer(path_.string());
        writer.write(1, 0, frame);
        const std::uint8_t halfARecordHeader[8] = {2, 0, 0, 0, 0, 0, 0, 0};
        writer.writeRaw(halfARecordHeader);
    }
    EXPECT_EQ(std::filesystem::file_size(path_), 24U + 16U + frame.size() + 8U);
    const ReadBack capture(path_);
    EXPECT_EQ(capture.records.size(), 1U);
    EXPECT_EQ(capture.lastResult, PCAP_ERROR);
}

TEST_F(PcapWriterTest, UnwritablePathIsReportedWithItsName) {
    const std::string path = (path_ / "no-such-folder" / "x.pcap").string();
    try {
        PcapWriter writer(path);
        FAIL() << "expected an exception";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    }
}

TEST_F(PcapWriterTest, WritingAfterCloseIsALogicError) {
    PcapWriter writer(path_.string());
    writer.close();
    writer.close();
    const std::uint8_t byte[1] = {0};
    EXPECT_THROW(writer.writeRaw(byte), std::logic_error);
}

}  // namespace
