#pragma once
// Opens the capture file with libpcap, reads it frame by frame and emits every frame, numbered from 1 and
// stamped with its capture time, into the frame signal. It is also the measurement
// "NumberOfTruncatedPackets": frames whose captured length differs from their wire length. A record that
// cannot be taken ends the reading; the frames before it stand as the capture's content.

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

    // The capture's link type, as the capture library numbers it.
    [[nodiscard]] int linkType() const;

    // Reads the capture, emitting each frame into `ethernetSignal` before reading the next, up to its end or
    // up to a record that cannot be taken: a read error, or a timestamp outside the years 1400 to 9999. Such
    // a record is reported on standard output, counts nowhere, and ends the reading. `everyFewFrames`, when
    // given, is called after every few thousand frames (to show progress).
    void loadPackets(EthernetSignal& ethernetSignal, const std::function<void()>& everyFewFrames = {});

    // How many bytes of the input have been consumed: the position in the file, or, where the input cannot
    // tell its position (a pipe), the bytes of the records read so far.
    [[nodiscard]] std::uint64_t bytesConsumed() const;
    // The size of the input when it is a regular file named on the command line; nothing for standard input
    // or anything else whose end is not known in advance.
    [[nodiscard]] std::optional<std::uint64_t> inputSize() const { return inputSize_; }

    // Whether the reading stopped at a damaged record rather than at the end of the capture.
    [[nodiscard]] bool stoppedAtDamage() const { return stoppedAtDamage_; }
    // The frames taken, numbered 1 to this.
    [[nodiscard]] std::uint64_t framesTaken() const { return packetCount; }

    [[nodiscard]] std::string getValue() const override;

private:
    void reportDamage(const std::string& reason);

    pcap_t* captureHandle = nullptr;
    std::uint64_t truncatedPacketCount = 0;
    std::uint64_t packetCount = 0;
    bool stoppedAtDamage_ = false;
    std::uint64_t recordBytes = 0;
    std::optional<std::uint64_t> inputSize_;
};

}  // namespace korvo::measurement
