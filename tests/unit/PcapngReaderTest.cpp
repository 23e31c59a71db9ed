// The block reader delivers every frame of a pcapng capture exactly as the capture library does (time stamp
// in microseconds, lengths, bytes) on files the library reads, and reads on where the library refuses a file
// whose interfaces differ in link type or snap length.

#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/PcapngReader.h"
#include "support/PcapngImage.h"

namespace korvo::measurement {
namespace {

using e2e::PcapngImage;

struct Frame {
    long seconds;
    long micros;
    std::uint32_t captured;
    std::uint32_t wire;
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const Frame&, const Frame&) = default;
};

void PrintTo(const Frame& frame, std::ostream* out) {
    *out << frame.seconds << "." << frame.micros << " " << frame.captured << "/" << frame.wire;
}

FILE* openImage(std::vector<std::uint8_t>& bytes) {
    return fmemopen(bytes.data(), bytes.size(), "rb");
}

Frame frameOf(const pcap_pkthdr& header, const u_char* data) {
    return {static_cast<long>(header.ts.tv_sec), static_cast<long>(header.ts.tv_usec), header.caplen,
            header.len, std::vector<std::uint8_t>(data, data + header.caplen)};
}

// The frames the capture library reads, and whether it read to the end.
std::vector<Frame> libraryFrames(std::vector<std::uint8_t> bytes, bool& whole) {
    char error[PCAP_ERRBUF_SIZE];
    pcap_t* handle = pcap_fopen_offline(openImage(bytes), error);
    EXPECT_NE(handle, nullptr) << error;
    std::vector<Frame> frames;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    int result = 0;
    while (handle != nullptr && (result = pcap_next_ex(handle, &header, &data)) == 1) {
        frames.push_back(frameOf(*header, data));
    }
    whole = result == PCAP_ERROR_BREAK;
    if (handle != nullptr) {
        pcap_close(handle);
    }
    return frames;
}

std::vector<Frame> readerFrames(std::vector<std::uint8_t> bytes, bool& whole,
                                std::vector<int>* linkTypes = nullptr) {
    FILE* file = openImage(bytes);
    PcapngReader reader(file);
    std::vector<Frame> frames;
    PcapngReader::Result result = PcapngReader::Result::Frame;
    while ((result = reader.next()) == PcapngReader::Result::Frame) {
        frames.push_back(frameOf(reader.header(), reader.data()));
        if (linkTypes != nullptr) {
            linkTypes->push_back(reader.linkType());
        }
    }
    whole = result == PcapngReader::Result::End;
    std::fclose(file);
    return frames;
}

const std::vector<std::uint8_t> kFrame = [] {
    std::vector<std::uint8_t> frame(75);
    for (std::size_t at = 0; at < frame.size(); ++at) {
        frame[at] = static_cast<std::uint8_t>(at * 7);
    }
    return frame;
}();

TEST(PcapngReaderTest, FramesAsTheCaptureLibraryDeliversThem) {
    PcapngImage image;
    image.interface()
        .interface(3, -3600)
        .interface(9, 86400)
        .interface(0x80 | 20)
        .interface(0x80 | 3)
        .packet(1204726029123456, kFrame, 80)
        .packet(1204726029123, kFrame, 75, 1)
        .packet(1204726029123456789, kFrame, 75, 2)
        .packet(std::uint64_t{1204726029} << 20 | 987654, kFrame, 75, 3)
        .packet(std::uint64_t{1204726029} << 3 | 5, std::span(kFrame).first(40), 75, 4)
        .block(0xBAD, {1, 2, 3, 4})
        .simplePacket(kFrame, 75);
    // A second section: its interfaces replace the first one's.
    const PcapngImage second = PcapngImage().interface(6).packet(1204726030000001, kFrame, 75);
    image.bytes().insert(image.bytes().end(), second.bytes().begin(), second.bytes().end());

    bool libraryWhole = false;
    bool readerWhole = false;
    const std::vector<Frame> expected = libraryFrames(image.bytes(), libraryWhole);
    ASSERT_TRUE(libraryWhole);
    ASSERT_EQ(expected.size(), 7U);
    EXPECT_EQ(readerFrames(image.bytes(), readerWhole), expected);
    EXPECT_TRUE(readerWhole);
}

// A simple packet block is cut to the interface's snap length.
TEST(PcapngReaderTest, SnapLengthOfTheInterface) {
    PcapngImage image;
    image.interface(std::nullopt, std::nullopt, DLT_EN10MB, 40)
        .packet(1204726029123456, std::span(kFrame).first(40), 75)
        .simplePacket(kFrame, 75);
    bool libraryWhole = false;
    bool readerWhole = false;
    const std::vector<Frame> expected = libraryFrames(image.bytes(), libraryWhole);
    ASSERT_TRUE(libraryWhole);
    ASSERT_EQ(expected.size(), 2U);
    EXPECT_EQ(readerFrames(image.bytes(), readerWhole), expected);
    EXPECT_TRUE(readerWhole);
}

TEST(PcapngReaderTest, InterfacesOfSeveralLinkTypesAndSnapLengthsAreReadWhole) {
    PcapngImage image;
    image.interface(std::nullopt, std::nullopt, DLT_EN10MB, 0)
        .interface(std::nullopt, std::nullopt, DLT_LINUX_SLL, 96)
        .interface(std::nullopt, std::nullopt, 101, 0)
        .packet(1, kFrame, 75, 0)
        .packet(2, kFrame, 75, 1)
        .packet(3, kFrame, 75, 2);
    bool whole = false;
    EXPECT_FALSE((libraryFrames(image.bytes(), whole), whole));
    std::vector<int> linkTypes;
    EXPECT_EQ(readerFrames(image.bytes(), whole, &linkTypes).size(), 3U);
    EXPECT_TRUE(whole);
    EXPECT_EQ(linkTypes, (std::vector<int>{DLT_EN10MB, DLT_LINUX_SLL, DLT_RAW}));
}

}  // namespace
}  // namespace korvo::measurement
