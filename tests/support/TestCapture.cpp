#include "support/TestCapture.h"

#include <stdexcept>

namespace korvo::e2e {

TestCapture::TestCapture(const std::filesystem::path& path, std::uint32_t linkType)
    : writer_(path.string(), 262144, linkType) {}

TestCapture& TestCapture::add(CaptureTime at, const std::vector<std::uint8_t>& frame) {
    writer_.write(at.seconds, at.microseconds, frame);
    return *this;
}

TestCapture& TestCapture::addCut(CaptureTime at, const std::vector<std::uint8_t>& frame,
                                 std::size_t capturedBytes) {
    if (capturedBytes > frame.size()) {
        throw std::invalid_argument("cannot capture more bytes than the frame has");
    }
    writer_.writeRecord(at.seconds, at.microseconds, std::span(frame).first(capturedBytes),
                        static_cast<std::uint32_t>(frame.size()));
    return *this;
}

TestCapture& TestCapture::addRecord(CaptureTime at, std::span<const std::uint8_t> captured,
                                    std::uint32_t wireLength) {
    writer_.writeRecord(at.seconds, at.microseconds, captured, wireLength);
    return *this;
}

void TestCapture::close() {
    writer_.close();
}

}  // namespace korvo::e2e
