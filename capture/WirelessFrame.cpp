#include "capture/WirelessFrame.h"

#include <pcap/dlt.h>

#include "net/WireOrder.h"

namespace korvo::measurement {

using net::littleEndian16;
using net::littleEndian32;

namespace {

constexpr std::uint32_t kHeaderLength = 24;
constexpr std::uint32_t kFourthAddressLength = 6;
constexpr std::uint32_t kQosControlLength = 2;
constexpr std::uint32_t kHtControlLength = 4;
constexpr std::uint32_t kSnapLength = 8;

constexpr unsigned kTypeData = 2;
// Subtypes with this bit carry no body (null functions, acknowledgement and poll without data).
constexpr unsigned kSubtypeNoBody = 0x4;
constexpr unsigned kSubtypeQos = 0x8;
constexpr unsigned kToAndFromDs = 0x03;
constexpr unsigned kMoreFragments = 0x04;
constexpr unsigned kProtected = 0x40;
// The sequence control, little endian: the fragment number in its low four bits.
constexpr std::uint32_t kSequenceControl = 22;
// On a QoS data frame, an HT or VHT control field follows the QoS control.
constexpr unsigned kOrder = 0x80;
// In the first byte of the QoS control: the body is an aggregate of several packets.
constexpr unsigned kAggregate = 0x80;

constexpr std::uint32_t kRadiotapFixedLength = 8;
constexpr std::uint32_t kRadiotapMorePresent = 0x80000000U;
constexpr std::uint32_t kRadiotapTsft = 0x1;
constexpr std::uint32_t kRadiotapFlags = 0x2;
constexpr std::uint8_t kRadiotapDataPad = 0x20;

constexpr std::uint32_t kPpiFixedLength = 8;

constexpr WirelessFrame::Found kNoPayload{WirelessFrame::Outcome::NoPayload};
constexpr WirelessFrame::Found kCutShort{WirelessFrame::Outcome::CutShort};

bool holds(std::uint32_t capturedLength, std::uint32_t at, std::uint32_t length) {
    return at <= capturedLength && capturedLength - at >= length;
}

}  // namespace

WirelessFrame::Found WirelessFrame::find(const unsigned char* frame, std::uint32_t capturedLength,
                                         std::uint32_t at, bool padded) {
    if (!holds(capturedLength, at, 2)) {
        return kCutShort;
    }
    const unsigned control = frame[at];
    const unsigned flags = frame[at + 1];
    const unsigned subtype = control >> 4;
    if ((control & 0x03) != 0 || ((control >> 2) & 0x03) != kTypeData || (subtype & kSubtypeNoBody) != 0) {
        return kNoPayload;
    }
    std::uint32_t length =
        kHeaderLength + ((flags & kToAndFromDs) == kToAndFromDs ? kFourthAddressLength : 0);
    const std::uint32_t qosControl = at + length;
    if ((subtype & kSubtypeQos) != 0) {
        length += kQosControlLength + ((flags & kOrder) != 0 ? kHtControlLength : 0);
    }
    if (padded) {
        length = (length + 3) / 4 * 4;
    }
    if (!holds(capturedLength, at, length)) {
        return kCutShort;
    }
    // A protected body cannot be read, and a fragment of a larger one holds no whole packet.
    if ((flags & kProtected) != 0 || (flags & kMoreFragments) != 0 ||
        (frame[at + kSequenceControl] & 0x0F) != 0) {
        return {Outcome::Unreadable};
    }
    if ((subtype & kSubtypeQos) != 0 && (frame[qosControl] & kAggregate) != 0) {
        return kNoPayload;
    }
    const std::uint32_t snap = at + length;
    if (!holds(capturedLength, snap, kSnapLength)) {
        return kCutShort;
    }
    const unsigned char* bytes = frame + snap;
    // RFC 1042 encapsulation, or the bridge tunnel that 802.1H uses for a few EtherTypes.
    const bool ethertypeSpace = bytes[3] == 0 && bytes[4] == 0 && (bytes[5] == 0 || bytes[5] == 0xF8);
    if (bytes[0] != 0xAA || bytes[1] != 0xAA || bytes[2] != 0x03 || !ethertypeSpace) {
        return kNoPayload;
    }
    return {Outcome::Payload, static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]), snap + kSnapLength};
}

WirelessFrame::Found WirelessFrame::behindRadiotap(const unsigned char* frame, std::uint32_t capturedLength) {
    if (!holds(capturedLength, 0, kRadiotapFixedLength)) {
        return kCutShort;
    }
    const std::uint32_t length = littleEndian16(frame + 2);
    if (frame[0] != 0 || length < kRadiotapFixedLength) {
        return kNoPayload;
    }
    if (!holds(capturedLength, 0, length)) {
        return kCutShort;
    }
    // The fields follow every word of present bits, each aligned to its size; only the flags matter here,
    // and only TSFT (8 bytes) comes before them.
    const std::uint32_t present = littleEndian32(frame + 4);
    std::uint32_t field = 4;
    for (std::uint32_t word = present; (word & kRadiotapMorePresent) != 0;) {
        field += 4;
        if (field + 4 > length) {
            return kNoPayload;
        }
        word = littleEndian32(frame + field);
    }
    field += 4;
    bool padded = false;
    if ((present & kRadiotapFlags) != 0) {
        if ((present & kRadiotapTsft) != 0) {
            field = (field + 7) / 8 * 8 + 8;
        }
        if (field >= length) {
            return kNoPayload;
        }
        padded = (frame[field] & kRadiotapDataPad) != 0;
    }
    return find(frame, capturedLength, length, padded);
}

WirelessFrame::Found WirelessFrame::behindPpi(const unsigned char* frame, std::uint32_t capturedLength) {
    if (!holds(capturedLength, 0, kPpiFixedLength)) {
        return kCutShort;
    }
    const std::uint32_t length = littleEndian16(frame + 2);
    if (frame[0] != 0 || length < kPpiFixedLength || littleEndian32(frame + 4) != DLT_IEEE802_11) {
        return kNoPayload;
    }
    return find(frame, capturedLength, length);
}

}  // namespace korvo::measurement
