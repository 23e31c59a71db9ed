#pragma once
// Lets the capture be read on one thread and analysed on another. Frames emitted into the input signal are
// copied, in batches of about 1 MiB, to a second thread, which emits them into the output signal in the same
// order; the reading thread goes on reading meanwhile. A failure of the analysis ends the reading at the
// next batch and is thrown there, or by finish().
//
// Only the first kCopiedBytes of a frame are copied, and passed on as its captured bytes: the receivers
// read headers only (link header, IP header with options and the fixed TCP header: at most 104 bytes in), so
// their results do not change, and copying whole full-size frames would cost more than it saves. Where IPv6
// is analysed, an IPv6 frame's extension headers may reach further: it is copied up to the end of its fixed
// TCP header, or whole when its headers lead to no TCP. Where tunnels are decoded, a frame is copied up to
// kCopiedBytes behind its innermost IP header (an IPv6 one as above), and a fragment whole, since it may be
// part of a tunnel packet that is put together again.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/Decoding.h"
#include "capture/LinkLayer.h"
#include "capture/PacketSignals.h"

namespace korvo::measurement {

class ReadAhead : public EnetPacketHandler {
public:
    static constexpr std::uint32_t kCopiedBytes = 128;

    // The link type of each frame finds its IP headers, which matter only where IPv6 or tunnels are decoded.
    ReadAhead(EthernetSignal& input, EthernetSignal& output, Decoding decoding = {});
    ~ReadAhead() override;

    void handlePacket(const EthernetPacket& frame) override;
    // Hands over what is left and returns once every frame has been emitted into the output.
    void finish();

private:
    struct Frame {
        std::size_t offset;
        std::uint32_t length;
        std::uint32_t capturedLength;
        std::uint64_t packetNumber;
        boost::posix_time::ptime captureTime;
        int linkType;
    };
    struct Batch {
        std::vector<unsigned char> bytes;
        std::vector<Frame> frames;
    };

    // How many of the frame's bytes the receivers may read.
    [[nodiscard]] std::uint32_t bytesToCopy(const EthernetPacket& frame);
    void handOver();
    void analyse();

    EthernetSignal& output_;
    // The link layer of the frames of `linkType_`, the link type of the last frame.
    int linkType_ = LinkLayer::kEthernet;
    LinkLayer linkLayer_;
    Decoding decoding_;
    std::unique_ptr<Batch> filling_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Batch>> full_;
    std::vector<std::unique_ptr<Batch>> emptied_;
    bool ending_ = false;
    std::exception_ptr failure_;
    // Started last, once everything it uses is in place.
    std::thread thread_;
};

}  // namespace korvo::measurement
