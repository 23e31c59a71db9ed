#include "capture/PacketLoader.h"

#include <algorithm>
#include <iostream>
#include <optional>
#include <queue>
#include <stdexcept>

#include "net/WireNumbers.h"

namespace korvo::measurement {

namespace {

constexpr int kFrameRead = CaptureInput::kFrameRead;
constexpr int kReadError = CaptureInput::kReadError;
constexpr int kEndOfFile = CaptureInput::kEndOfFile;
// The loader calls its progress hook once per this many frames: rare enough that the per-frame cost is a
// mask test, often enough (a few milliseconds of reading) for a line redrawn a few times a second.
constexpr std::uint64_t kFramesPerProgressCall = 4096;

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
    using net::kEpoch;
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

std::string outsideYears(const timeval& stamp) {
    return "has a timestamp of " + std::to_string(stamp.tv_sec) + " s and " + std::to_string(stamp.tv_usec) +
           " us from 1970, outside the years 1400 to 9999";
}
}  // namespace

PacketLoader::PacketLoader(const std::vector<std::string>& fileNames, const std::string& filter) {
    inputSize_ = 0;
    for (const std::string& fileName : fileNames) {
        inputs_.push_back(std::make_unique<CaptureInput>(fileName));
        const CaptureInput& input = *inputs_.back();
        inputSize_ = input.size() && inputSize_ ? std::optional(*inputSize_ + *input.size()) : std::nullopt;
    }
    if (!filter.empty()) {
        for (const auto& input : inputs_) {
            input->useFilter(filter);
        }
    }
}

PacketLoader::~PacketLoader() = default;

std::vector<int> PacketLoader::linkTypes() const {
    std::vector<int> all;
    for (const auto& input : inputs_) {
        for (const int type : input->linkTypes()) {
            if (std::find(all.begin(), all.end(), type) == all.end()) {
                all.push_back(type);
            }
        }
    }
    return all;
}

void PacketLoader::reportDamage(std::size_t input, const std::string& reason) {
    std::cout << "PacketLoader::openInputFile() Error reading packet: " << reason << '\n' << std::flush;
    stoppedAtDamage_ = true;
    damage_ = reason;
    damagedInput_ = input;
}

std::vector<PacketLoader::InputRead> PacketLoader::inputsRead() const {
    std::vector<InputRead> read;
    for (std::size_t index = 0; index < inputs_.size(); ++index) {
        const CaptureInput& input = *inputs_[index];
        read.push_back({input.name(), input.linkTypes(), input.frames(), input.wireBytes(),
                        !stoppedAtDamage_ || index != damagedInput_});
    }
    return read;
}

inline void PacketLoader::take(CaptureInput& input, const pcap_pkthdr* header, const u_char* data,
                               boost::posix_time::ptime captureTime, EthernetSignal& ethernetSignal,
                               const std::function<void()>& everyFewFrames) {
    ++packetCount;
    input.countRecord(header->caplen, header->len);
    if (input.keeps(header, data)) {
        const auto* frame = reinterpret_cast<const net::ether_header*>(data);
        ethernetSignal(EthernetPacket{frame, header->len, header->caplen, packetCount, captureTime, 0,
                                      input.frameLinkType()});
    }
    if (packetCount % kFramesPerProgressCall == 0 && everyFewFrames) {
        everyFewFrames();
    }
}

void PacketLoader::loadPackets(EthernetSignal& ethernetSignal, const std::function<void()>& everyFewFrames) {
    if (inputs_.size() == 1) {
        loadOne(ethernetSignal, everyFewFrames);
    } else {
        loadMerged(ethernetSignal, everyFewFrames);
    }
}

void PacketLoader::loadOne(EthernetSignal& ethernetSignal, const std::function<void()>& everyFewFrames) {
    CaptureInput& input = *inputs_.front();
    const pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    for (int result = input.next(header, data); result != kEndOfFile; result = input.next(header, data)) {
        if (result == kReadError) {
            reportDamage(0, input.readError());
            return;
        }
        const std::optional<boost::posix_time::ptime> captureTime = captureTimeOf(header->ts);
        if (!captureTime) {
            reportDamage(0, "frame " + std::to_string(packetCount + 1) + " " + outsideYears(header->ts));
            return;
        }
        take(input, header, data, *captureTime, ethernetSignal, everyFewFrames);
    }
}

void PacketLoader::loadMerged(EthernetSignal& ethernetSignal, const std::function<void()>& everyFewFrames) {
    // The next frame of one capture, waiting for its turn. Its header and bytes stay valid until that
    // capture is read again, which happens only once the frame has been taken.
    struct Pending {
        boost::posix_time::ptime time;
        std::size_t input;
        const pcap_pkthdr* header;
        const u_char* data;
    };
    // The earliest frame first; of equal times, that of the capture named first.
    const auto later = [](const Pending& left, const Pending& right) {
        return left.time != right.time ? left.time > right.time : left.input > right.input;
    };
    std::priority_queue<Pending, std::vector<Pending>, decltype(later)> waiting(later);
    std::vector<std::uint64_t> recordsRead(inputs_.size(), 0);

    // Reads the next frame of one capture into `next`, which stays empty at the capture's end. False when its
    // next record is damaged, which ends all reading: the frames already taken are exactly those that come
    // before that record in the merged order.
    const auto readNext = [&](std::size_t index, std::optional<Pending>& next) {
        CaptureInput& input = *inputs_[index];
        const pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int result = input.next(header, data);
        if (result == kEndOfFile) {
            return true;
        }
        if (result == kReadError) {
            reportDamage(index, input.name() + ": " + input.readError());
            return false;
        }
        const std::optional<boost::posix_time::ptime> captureTime = captureTimeOf(header->ts);
        if (!captureTime) {
            reportDamage(index, input.name() + ": record " + std::to_string(recordsRead[index] + 1) + " " +
                                    outsideYears(header->ts));
            return false;
        }
        ++recordsRead[index];
        next = Pending{*captureTime, index, header, data};
        return true;
    };

    for (std::size_t index = 0; index < inputs_.size(); ++index) {
        std::optional<Pending> first;
        if (!readNext(index, first)) {
            return;
        }
        if (first) {
            waiting.push(*first);
        }
    }
    if (waiting.empty()) {
        return;
    }
    Pending current = waiting.top();
    waiting.pop();
    for (;;) {
        take(*inputs_[current.input], current.header, current.data, current.time, ethernetSignal,
             everyFewFrames);
        std::optional<Pending> following;
        if (!readNext(current.input, following)) {
            return;
        }
        // Rotated files follow one another in time: the capture that gave this frame usually gives the next
        // one too, which then passes by the queue.
        if (following && (waiting.empty() || !later(*following, waiting.top()))) {
            current = *following;
            continue;
        }
        if (following) {
            waiting.push(*following);
        }
        if (waiting.empty()) {
            return;
        }
        current = waiting.top();
        waiting.pop();
    }
}

std::uint64_t PacketLoader::bytesConsumed() const {
    std::uint64_t consumed = 0;
    for (const auto& input : inputs_) {
        consumed += input->bytesConsumed();
    }
    return consumed;
}

}  // namespace korvo::measurement
