#include "capture/PacketLoader.h"

#include <exception>
#include <iostream>
#include <sstream>

#include "measurement/DetailRow.h"

namespace korvo::measurement {

namespace {

constexpr int kFrameRead = 1;
constexpr int kReadError = -1;
constexpr int kEndOfFile = -2;

// The capture time of a record: microseconds from the start of 1970, where a negative part makes the whole
// offset negative, as a duration built from hours, minutes, seconds and fraction does.
boost::posix_time::ptime captureTimeOf(const timeval& stamp) {
    static const boost::posix_time::ptime kEpoch(boost::gregorian::date(1970, 1, 1));
    const std::int64_t seconds = stamp.tv_sec;
    const std::int64_t micros = stamp.tv_usec;
    if (seconds < 0 || micros < 0) {
        const std::int64_t magnitude =
            (seconds < 0 ? -seconds : seconds) * 1'000'000 + (micros < 0 ? -micros : micros);
        return kEpoch - boost::posix_time::microseconds(magnitude);
    }
    return kEpoch + boost::posix_time::microseconds(seconds * 1'000'000 + micros);
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
}

PacketLoader::~PacketLoader() {
    pcap_close(captureHandle);
}

int PacketLoader::readNextPacket(pcap_pkthdr** header, const u_char** data) {
    const int result = pcap_next_ex(captureHandle, header, data);
    if (result == kReadError) {
        std::cout << "PacketLoader::openInputFile() Error reading packet: " << pcap_geterr(captureHandle)
                  << '\n'
                  << std::flush;
        throw std::exception();
    }
    if (result == kFrameRead) {
        ++packetCount;
        if ((*header)->len != (*header)->caplen) {
            ++truncatedPacketCount;
            if (extended) {
                DetailRow(details).text("Packet Number,").number(packetCount).end();
            }
        }
    }
    return result;
}

void PacketLoader::loadPackets(EthernetSignal& ethernetSignal) {
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    for (int result = readNextPacket(&header, &data); result != kEndOfFile;
         result = readNextPacket(&header, &data)) {
        if (result != kFrameRead) {
            continue;
        }
        const auto* frame = reinterpret_cast<const net::ether_header*>(data);
        ethernetSignal(
            EthernetPacket{frame, header->len, header->caplen, packetCount, captureTimeOf(header->ts)});
    }
}

std::string PacketLoader::getValue() const {
    return std::to_string(truncatedPacketCount);
}

}  // namespace korvo::measurement
