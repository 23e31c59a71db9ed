#include "support/PcapngImage.h"

#include "tools/WireBytes.h"

namespace korvo::e2e {

namespace {

constexpr std::uint32_t kSectionHeaderBlock = 0x0A0D0D0A;
constexpr std::uint32_t kInterfaceDescriptionBlock = 1;
constexpr std::uint32_t kSimplePacketBlock = 3;
constexpr std::uint32_t kEnhancedPacketBlock = 6;
constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint16_t kOptionEnd = 0;
constexpr std::uint16_t kOptionResolution = 9;
constexpr std::uint16_t kOptionOffset = 14;

void append16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.resize(out.size() + 2);
    tools::wire::storeLittleEndian16(out.data() + out.size() - 2, value);
}

void append32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.resize(out.size() + 4);
    tools::wire::storeLittleEndian32(out.data() + out.size() - 4, value);
}

void append64(std::vector<std::uint8_t>& out, std::uint64_t value) {
    append32(out, static_cast<std::uint32_t>(value));
    append32(out, static_cast<std::uint32_t>(value >> 32));
}

void padToWords(std::vector<std::uint8_t>& out) {
    out.resize((out.size() + 3) / 4 * 4, 0);
}

}  // namespace

PcapngImage::PcapngImage() {
    std::vector<std::uint8_t> body;
    append32(body, kByteOrderMagic);
    append16(body, 1);
    append16(body, 0);
    // Section length unknown.
    append64(body, ~std::uint64_t{0});
    block(kSectionHeaderBlock, body);
}

PcapngImage& PcapngImage::interface(std::optional<std::uint8_t> resolution,
                                    std::optional<std::int64_t> offsetSeconds, std::uint16_t linkType,
                                    std::uint32_t snapLength) {
    std::vector<std::uint8_t> body;
    append16(body, linkType);
    append16(body, 0);
    append32(body, snapLength);
    if (resolution) {
        append16(body, kOptionResolution);
        append16(body, 1);
        body.push_back(*resolution);
        padToWords(body);
    }
    if (offsetSeconds) {
        append16(body, kOptionOffset);
        append16(body, 8);
        append64(body, static_cast<std::uint64_t>(*offsetSeconds));
    }
    if (resolution || offsetSeconds) {
        append16(body, kOptionEnd);
        append16(body, 0);
    }
    block(kInterfaceDescriptionBlock, body);
    return *this;
}

PcapngImage& PcapngImage::packet(std::uint64_t timestamp, std::span<const std::uint8_t> captured,
                                 std::uint32_t wireLength, std::uint32_t interfaceId) {
    std::vector<std::uint8_t> body;
    append32(body, interfaceId);
    append32(body, static_cast<std::uint32_t>(timestamp >> 32));
    append32(body, static_cast<std::uint32_t>(timestamp));
    append32(body, static_cast<std::uint32_t>(captured.size()));
    append32(body, wireLength);
    body.insert(body.end(), captured.begin(), captured.end());
    padToWords(body);
    block(kEnhancedPacketBlock, body);
    return *this;
}

PcapngImage& PcapngImage::simplePacket(std::span<const std::uint8_t> captured, std::uint32_t wireLength) {
    std::vector<std::uint8_t> body;
    append32(body, wireLength);
    body.insert(body.end(), captured.begin(), captured.end());
    padToWords(body);
    return block(kSimplePacketBlock, body);
}

PcapngImage& PcapngImage::block(std::uint32_t type, const std::vector<std::uint8_t>& body) {
    // Type, total length, body, total length again.
    const auto totalLength = static_cast<std::uint32_t>(body.size() + 12);
    append32(bytes_, type);
    append32(bytes_, totalLength);
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    append32(bytes_, totalLength);
    return *this;
}

}  // namespace korvo::e2e
