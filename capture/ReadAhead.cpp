#include "capture/ReadAhead.h"

#include <algorithm>

#include "capture/Ipv6HeaderChain.h"
#include "capture/TunnelDecoder.h"

namespace korvo::measurement {

namespace {

constexpr std::size_t kBatchBytes = std::size_t{1} << 20;
// Batches waiting for the analysis; the reader waits when this many are.
constexpr std::size_t kWaitingBatches = 4;

}  // namespace

ReadAhead::ReadAhead(EthernetSignal& input, EthernetSignal& output, Decoding decoding)
    : EnetPacketHandler(input), output_(output), decoding_(decoding), filling_(std::make_unique<Batch>()) {
    filling_->bytes.reserve(kBatchBytes);
    thread_ = std::thread([this] { analyse(); });
}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::uint32_t ReadAhead::bytesToCopy(const EthernetPacket& frame) {
    if ((!decoding_.ipv6 && !decoding_.tunnels) || frame.capturedLength <= kCopiedBytes) {
        return std::min(frame.capturedLength, kCopiedBytes);
    }
    if (frame.linkType != linkType_) {
        linkType_ = frame.linkType;
        linkLayer_ = LinkLayer(linkType_);
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(frame.header);
    const LinkLayer::Found found = linkLayer_.find(bytes, frame.capturedLength);
    std::uint32_t ipOffset = found.ipOffset;
    if (decoding_.tunnels) {
        // A fragment may be part of a tunnel packet, which is put together from the whole of its fragments.
        const auto fragmentAt = [&](std::uint32_t offset) {
            return reinterpret_cast<const net::ip*>(bytes + offset)->isFragment();
        };
        if (TunnelDecoder::endsAtFirstPacket(bytes, frame.capturedLength, found)) {
            return fragmentAt(ipOffset) ? frame.capturedLength
                                        : std::min(frame.capturedLength, ipOffset + kCopiedBytes);
        }
        const TunnelDecoder::Path path =
            TunnelDecoder::follow(bytes, frame.capturedLength, linkLayer_.start(bytes, frame.capturedLength));
        if (path.innermost.version == TunnelDecoder::Version::IPv4 && fragmentAt(path.innermost.offset)) {
            return frame.capturedLength;
        }
        if (path.innermost.version != TunnelDecoder::Version::IPv6) {
            return std::min(frame.capturedLength, path.innermost.offset + kCopiedBytes);
        }
        ipOffset = path.innermost.offset;
    } else {
        if (found.carried != LinkLayer::Carried::IPv6) {
            return kCopiedBytes;
        }
        if (frame.capturedLength - ipOffset < net::ip6::kFixedLength) {
            return frame.capturedLength;
        }
    }
    const Ipv6HeaderChain::Walk walk =
        Ipv6HeaderChain::walk(bytes + ipOffset, frame.capturedLength - ipOffset);
    if (!walk.reached) {
        return frame.capturedLength;
    }
    const std::uint64_t end = std::uint64_t{ipOffset} + walk.transportOffset + net::tcphdr::kFixedLength;
    return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(end, kCopiedBytes, frame.capturedLength));
}

void ReadAhead::handlePacket(const EthernetPacket& frame) {
    const std::uint32_t copied = bytesToCopy(frame);
    if (filling_->bytes.size() + copied > kBatchBytes) {
        handOver();
    }
    Batch& batch = *filling_;
    const auto* bytes = reinterpret_cast<const unsigned char*>(frame.header);
    batch.frames.push_back(
        {batch.bytes.size(), frame.length, copied, frame.packetNumber, frame.captureTime, frame.linkType});
    batch.bytes.insert(batch.bytes.end(), bytes, bytes + copied);
}

void ReadAhead::handOver() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return full_.size() < kWaitingBatches || failure_; });
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    full_.push_back(std::move(filling_));
    if (emptied_.empty()) {
        filling_ = std::make_unique<Batch>();
        filling_->bytes.reserve(kBatchBytes);
    } else {
        filling_ = std::move(emptied_.back());
        emptied_.pop_back();
    }
    lock.unlock();
    changed_.notify_all();
}

void ReadAhead::finish() {
    if (!filling_->frames.empty()) {
        handOver();
    }
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

void ReadAhead::analyse() {
    for (;;) {
        std::unique_ptr<Batch> batch;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !full_.empty() || ending_; });
            if (full_.empty()) {
                return;
            }
            batch = std::move(full_.front());
            full_.pop_front();
        }
        try {
            for (const Frame& frame : batch->frames) {
                output_(EthernetPacket{
                    reinterpret_cast<const net::ether_header*>(batch->bytes.data() + frame.offset),
                    frame.length, frame.capturedLength, frame.packetNumber, frame.captureTime, 0,
                    frame.linkType});
            }
        } catch (...) {
            const std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
            changed_.notify_all();
            return;
        }
        batch->bytes.clear();
        batch->frames.clear();
        {
            const std::lock_guard lock(mutex_);
            emptied_.push_back(std::move(batch));
        }
        changed_.notify_all();
    }
}

}  // namespace korvo::measurement
