#include "capture/PacketLoader.h"

#include <sys/stat.h>

#include <cstdio>

#include <exception>
#include <iostream>
#include <optional>
#include <sstream>

#include "measurement/DetailRow.h"

namespace korvo::measurement {

namespace {

constexpr int kFrameRead = 1;
constexpr int kReadError = -1;
constexpr int kEndOfFile = -2;
// The loader calls its progress hook once per this many frames: rare enough that the per-frame cost is a
// mask test, often enough (a few milliseconds of reading) for a line redrawn a few times a second.
constexpr std::uint64_t kFramesPerProgressCall = 4096;
// What a record costs in the file beyond its captured bytes, and what the file header takes: the tally of
// an input without a position.
constexpr std::uint64_t kRecordHeaderBytes = 16;
constexpr std::uint64_t kFileHeaderBytes = 24;

// The span of times that a capture time can hold, in seconds from the start of 1970: 1400-01-01 00:00:00
// to 9999-12-31 23:59:59.
constexpr std::int64_t kEarliestSecond = -17987443200;
constexpr std::int64_t kLatestSecond = 253402300799;
constexpr std::int64_t kMicrosPerSecond = 1'000'000;

// The capture time of a record: its seconds and microseconds added with their signs. libpcap reports a
// time before 1970 as negative seconds and a positive fraction, and passes damaged fractions through (even
// negative ones, from a nanosecond field that does not fit); the sum reads both as they stand. A time that
// no capture time can hold gives nothing.
std::optional<boost::posix_time::ptime> captureTimeOf(const timeval& stamp) {
    static const boost::posix_time::ptime kEpoch(boost::gregorian::date(1970, 1, 1));
    const std::int64_t seconds = stamp.tv_sec;
    const std::int64_t micros = stamp.tv_usec;
    // Seconds are bounded first, so that the sum cannot overflow: fractions stay far below 2^62.
    if (seconds >= kEarliestSecond - 1 && seconds <= kLatestSecond + 1 && micros > -(std::int64_t{1} << 62) &&
        micros < (std::int64_t{1} << 62)) {
        const std::int64_t total = seconds * kMicrosPerSecond + micros;
        if (total >= kEarliestSecond * kMicrosPerSecond && total < (kLatestSecond + 1) * kMicrosPerSecond) {
            return kEpoch + boost::posix_time::microseconds(total);
        }
    }
    return std::nullopt;
}

}  // namespace

PacketLoader::PacketLoader(const std::string& fileName, bool extendedStatistics)
    : Measurement("NumberOfTruncatedPackets", extendedStatistics) {
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    captureHandle = pcap_open_offline(fileName.c_str(), errorBuffer);
    if (captureHandle == nullptr) {
        std::ostringstream message;
        message << "PacketLoader::openInputFile() Error opening filename " << fileName
                << " as libpcap formatted dump file.\n"
                << errorBuffer << '\n';
        std::cout << message.str() << std::flush;
        throw std::exception();
    }
    struct stat status {};
    FILE* file = pcap_file(captureHandle);
    if (fileName != "-" && file != nullptr && ::fstat(::fileno(file), &status) == 0 &&
        S_ISREG(status.st_mode)) {
        inputSize_ = static_cast<std::uint64_t>(status.st_size);
    }
}

PacketLoader::~PacketLoader() {
    pcap_close(captureHandle);
}

int PacketLoader::linkType() const {
    return pcap_datalink(captureHandle);
}

void PacketLoader::reportDamage(const std::string& reason) {
    std::cout << "PacketLoader::openInputFile() Error reading packet: " << reason << '\n' << std::flush;
    stoppedAtDamage_ = true;
}

void PacketLoader::loadPackets(EthernetSignal& ethernetSignal, const std::function<void()>& everyFewFrames) {
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    for (int result = pcap_next_ex(captureHandle, &header, &data); result != kEndOfFile;
         result = pcap_next_ex(captureHandle, &header, &data)) {
        if (result == kReadError) {
            reportDamage(pcap_geterr(captureHandle));
            return;
        }
        if (result != kFrameRead) {
            continue;
        }
        const std::optional<boost::posix_time::ptime> captureTime = captureTimeOf(header->ts);
        if (!captureTime) {
            std::ostringstream reason;
            reason << "frame " << packetCount + 1 << " has a timestamp of " << header->ts.tv_sec << " s and "
                   << header->ts.tv_usec << " us from 1970, outside the years 1400 to 9999";
            reportDamage(reason.str());
            return;
        }
        ++packetCount;
        recordBytes += kRecordHeaderBytes + header->caplen;
        if (header->len != header->caplen) {
            ++truncatedPacketCount;
            if (extended) {
                DetailRow(details).text("Packet Number,").number(packetCount).end();
            }
        }
        const auto* frame = reinterpret_cast<const net::ether_header*>(data);
        ethernetSignal(EthernetPacket{frame, header->len, header->caplen, packetCount, *captureTime});
        if (packetCount % kFramesPerProgressCall == 0 && everyFewFrames) {
            everyFewFrames();
        }
    }
}

std::uint64_t PacketLoader::bytesConsumed() const {
    FILE* file = pcap_file(captureHandle);
    if (file != nullptr) {
        const long position = std::ftell(file);
        if (position >= 0) {
            return static_cast<std::uint64_t>(position);
        }
    }
    return kFileHeaderBytes + recordBytes;
}

std::string PacketLoader::getValue() const {
    return std::to_string(truncatedPacketCount);
}

}  // namespace korvo::measurement
