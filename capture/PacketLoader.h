#pragma once
// Opens the captures, reads them frame by frame and emits every frame, numbered from 1 and stamped with its
// capture time and link type, into the frame signal. Several captures, of one link type or of several, are
// read as one: their frames merged in time order and numbered across all of them. A frame filter, when given,
// hides the frames it does not keep from everything downstream, while the numbering stays that of the
// capture. A record that cannot be taken ends the reading; the frames before it stand as the capture's
// content.

#include <pcap/pcap.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureInput.h"
#include "capture/PacketSignals.h"

namespace korvo::measurement {

class PacketLoader {
public:
    // Opens every one of `fileNames` ("-" reads standard input). On failure to open one writes the reason to
    // standard output and throws a std::exception that carries no text of its own. A non-empty `filter` is
    // compiled for each link type and throws FilterError when it cannot be. Nothing but the file headers is
    // read before `loadPackets`.
    PacketLoader(const std::vector<std::string>& fileNames, const std::string& filter);
    ~PacketLoader();
    PacketLoader(const PacketLoader&) = delete;
    PacketLoader& operator=(const PacketLoader&) = delete;

    // The link types of the captures' interfaces known so far, as the capture library numbers them, each
    // once: those of a pcapng's interfaces described only later are added while it is read.
    [[nodiscard]] std::vector<int> linkTypes() const;

    // Reads the captures, emitting each frame into `ethernetSignal` before reading the next, up to their end
    // or up to a record that cannot be taken: a read error, or a timestamp outside the years 1400 to 9999.
    // Such a record is reported on standard output, counts nowhere, and ends all reading (of several
    // captures, at the point where the merge needs that capture's next frame). `everyFewFrames`, when given,
    // is called after every few thousand frames (to show progress).
    void loadPackets(EthernetSignal& ethernetSignal, const std::function<void()>& everyFewFrames = {});

    // How many bytes of the inputs have been consumed, summed over them (see CaptureInput::bytesConsumed).
    [[nodiscard]] std::uint64_t bytesConsumed() const;
    // The summed size of the inputs when every one is a regular file named on the command line; nothing when
    // any end is not known in advance.
    [[nodiscard]] std::optional<std::uint64_t> inputSize() const { return inputSize_; }

    // Whether the reading stopped at a damaged record rather than at the end of the captures.
    [[nodiscard]] bool stoppedAtDamage() const { return stoppedAtDamage_; }
    // Why it stopped there, as reported; empty when it did not.
    [[nodiscard]] const std::string& damage() const { return damage_; }

    // What was read of one capture.
    struct InputRead {
        std::string name;
        std::vector<int> linkTypes;
        std::uint64_t frames = 0;
        // The frames' summed wire lengths.
        std::uint64_t bytes = 0;
        // False for the capture whose damaged record ended the reading.
        bool complete = true;
    };
    [[nodiscard]] std::vector<InputRead> inputsRead() const;
    // The frames read, numbered 1 to this (frames the filter hides included).
    [[nodiscard]] std::uint64_t framesTaken() const { return packetCount; }

private:
    void loadOne(EthernetSignal& ethernetSignal, const std::function<void()>& everyFewFrames);
    void loadMerged(EthernetSignal& ethernetSignal, const std::function<void()>& everyFewFrames);

    // Numbers a frame already read from `input` and, when the filter keeps it, counts and emits it.
    void take(CaptureInput& input, const pcap_pkthdr* header, const u_char* data,
              boost::posix_time::ptime captureTime, EthernetSignal& ethernetSignal,
              const std::function<void()>& everyFewFrames);
    // `input` is the index of the capture whose record is damaged.
    void reportDamage(std::size_t input, const std::string& reason);

    std::vector<std::unique_ptr<CaptureInput>> inputs_;
    std::uint64_t packetCount = 0;
    bool stoppedAtDamage_ = false;
    std::string damage_;
    std::size_t damagedInput_ = 0;
    std::optional<std::uint64_t> inputSize_;
};

}  // namespace korvo::measurement
