#pragma once
// Opens the capture file with libpcap, reads it frame by frame and emits every frame, numbered from 1 and
// stamped with its capture time, into the Ethernet signal. It is also the measurement
// "NumberOfTruncatedPackets": frames whose captured length differs from their wire length.

#include <pcap/pcap.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "capture/PacketSignals.h"
#include "measurement/Measurement.h"

namespace korvo::measurement {

class PacketLoader : public Measurement {
public:
    // Opens `fileName` ("-" reads standard input). On failure writes the reason to standard output and
    // throws a std::exception that carries no text of its own.
    PacketLoader(const std::string& fileName, bool extended);
    ~PacketLoader() override;

    // Reads the whole capture, emitting each frame into `ethernetSignal` before reading the next. Throws as
    // the constructor does when libpcap reports a read error; the frames before it have been emitted.
    // `everyFewFrames`, when given, is called after every few thousand frames (to show progress).
    void loadPackets(EthernetSignal& ethernetSignal, const std::function<void()>& everyFewFrames = {});

    // How many bytes of the input have been consumed: the position in the file, or, where the input cannot
    // tell its position (a pipe), the bytes of the records read so far.
    [[nodiscard]] std::uint64_t bytesConsumed() const;
    // The size of the input when it is a regular file named on the command line; nothing for standard input
    // or anything else whose end is not known in advance.
    [[nodiscard]] std::optional<std::uint64_t> inputSize() const { return inputSize_; }

    [[nodiscard]] std::string getValue() const override;

private:
    int readNextPacket(pcap_pkthdr** header, const u_char** data);

    pcap_t* captureHandle = nullptr;
    std::uint64_t truncatedPacketCount = 0;
    std::uint64_t packetCount = 0;
    std::uint64_t recordBytes = 0;
    std::optional<std::uint64_t> inputSize_;
};

}  // namespace korvo::measurement
