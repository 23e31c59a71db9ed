#include "tools/synth/TcpConnection.h"

#include <algorithm>

namespace korvo::tools::synth {

namespace {

constexpr std::uint32_t kIpAndTcpHeaderBytes = 40;
constexpr std::uint32_t kLargestStandardPacket = 1500;
// Applications often write less than a full segment; this share of data segments is cut short.
constexpr double kShortWriteShare = 0.15;

std::uint32_t tagsFor(const TcpSegment& segment) {
    std::uint32_t tags = kTagTcp;
    if (segment.vlanId != 0) {
        tags |= kTagVlan;
    }
    if (kIpAndTcpHeaderBytes + segment.payloadBytes > kLargestStandardPacket) {
        tags |= kTagJumbo;
    }
    return tags;
}

void write(FrameEncoder& encoder, CaptureSink& sink, const TcpSegment& segment, std::uint32_t tags) {
    sink.put(encoder.tcp(segment), tags);
}

}  // namespace

TcpConnection::TcpConnection(const ConnectionPlan& plan, Random& random)
    : phase_(Phase::Syn), vlanId_(plan.vlanId), ipv6_(plan.ipv6), maximumSegment_(plan.maximumSegment) {
    client_.address = plan.clientAddress;
    client_.port = plan.clientPort;
    client_.nextSequence = random.next32();
    client_.nextIdentification = static_cast<std::uint16_t>(random.next32());
    client_.bytesLeft = plan.requestBytes;
    server_.address = plan.serverAddress;
    server_.port = plan.serverPort;
    server_.nextSequence = random.next32();
    server_.nextIdentification = static_cast<std::uint16_t>(random.next32());
    server_.bytesLeft = plan.responseBytes;
}

void TcpConnection::step(FrameEncoder& encoder, CaptureSink& sink, Random& random,
                         const AnomalyShares& shares) {
    switch (phase_) {
        case Phase::Syn:
            sendControl(client_, server_, FrameEncoder::kTcpSyn, encoder, sink);
            phase_ = Phase::SynAck;
            break;
        case Phase::SynAck:
            sendControl(server_, client_, FrameEncoder::kTcpSyn | FrameEncoder::kTcpAck, encoder, sink);
            phase_ = Phase::HandshakeAck;
            break;
        case Phase::HandshakeAck:
            sendControl(client_, server_, FrameEncoder::kTcpAck, encoder, sink);
            phase_ = Phase::Request;
            break;
        case Phase::Request:
            sendData(client_, server_, encoder, sink, random, shares);
            phase_ = client_.bytesLeft == 0 ? Phase::Response : Phase::Request;
            break;
        case Phase::Response:
            sendData(server_, client_, encoder, sink, random, shares);
            phase_ = server_.bytesLeft == 0 ? Phase::ClientFin : Phase::Response;
            break;
        case Phase::ClientFin:
            sendControl(client_, server_, FrameEncoder::kTcpFin | FrameEncoder::kTcpAck, encoder, sink);
            phase_ = Phase::ServerAck;
            break;
        case Phase::ServerAck:
            sendControl(server_, client_, FrameEncoder::kTcpAck, encoder, sink);
            phase_ = Phase::ServerFin;
            break;
        case Phase::ServerFin:
            sendControl(server_, client_, FrameEncoder::kTcpFin | FrameEncoder::kTcpAck, encoder, sink);
            phase_ = Phase::ClientAck;
            break;
        case Phase::ClientAck:
            sendControl(client_, server_, FrameEncoder::kTcpAck, encoder, sink);
            phase_ = Phase::Done;
            break;
        case Phase::Done:
            break;
    }
}

// SYN and FIN take up one sequence number each.
void TcpConnection::sendControl(Side& from, const Side& to, std::uint8_t flags, FrameEncoder& encoder,
                                CaptureSink& sink) {
    const TcpSegment control = segment(from, to, from.nextSequence, 0, flags);
    const bool opening = flags == FrameEncoder::kTcpSyn;
    write(encoder, sink, control, tagsFor(control) | (opening ? kTagFlowOpening : 0U));
    ++from.nextIdentification;
    if ((flags & (FrameEncoder::kTcpSyn | FrameEncoder::kTcpFin)) != 0) {
        ++from.nextSequence;
    }
}

void TcpConnection::sendData(Side& from, Side& to, FrameEncoder& encoder, CaptureSink& sink, Random& random,
                             const AnomalyShares& shares) {
    const std::uint32_t payload = nextPayload(from, random);
    const TcpSegment current = segment(from, to, from.nextSequence, payload, FrameEncoder::kTcpAck);
    from.bytesLeft -= payload;
    from.nextSequence += payload;
    ++from.nextIdentification;

    const double roll = random.unit();
    if (roll < shares.loss) {
        sink.noteLost();
    } else if (roll < shares.loss + shares.reorder && from.bytesLeft > 0) {
        // The next segment overtakes this one on the way to the capture point.
        const std::uint32_t nextPayloadBytes = nextPayload(from, random);
        const TcpSegment overtaking =
            segment(from, to, from.nextSequence, nextPayloadBytes, FrameEncoder::kTcpAck);
        from.bytesLeft -= nextPayloadBytes;
        from.nextSequence += nextPayloadBytes;
        ++from.nextIdentification;
        write(encoder, sink, overtaking, tagsFor(overtaking));
        write(encoder, sink, current, tagsFor(current) | kTagReordered);
        ++to.unacknowledged;
    } else if (roll < shares.loss + shares.reorder + shares.duplicate) {
        write(encoder, sink, current, tagsFor(current));
        write(encoder, sink, current, tagsFor(current) | kTagDuplicate);
    } else if (roll < shares.loss + shares.reorder + shares.duplicate + shares.retransmit &&
               from.lastLength > 0) {
        write(encoder, sink, current, tagsFor(current));
        const TcpSegment resent =
            segment(from, to, from.lastSequence, from.lastLength, FrameEncoder::kTcpAck);
        ++from.nextIdentification;
        write(encoder, sink, resent, tagsFor(resent) | kTagRetransmitted);
    } else {
        write(encoder, sink, current, tagsFor(current));
    }
    from.lastSequence = current.sequenceNumber;
    from.lastLength = current.payloadBytes;

    ++to.unacknowledged;
    if (to.unacknowledged >= 2 || from.bytesLeft == 0) {
        const TcpSegment acknowledgement = segment(to, from, to.nextSequence, 0, FrameEncoder::kTcpAck);
        write(encoder, sink, acknowledgement, tagsFor(acknowledgement));
        ++to.nextIdentification;
        to.unacknowledged = 0;
    }
}

std::uint32_t TcpConnection::nextPayload(const Side& from, Random& random) const {
    const auto full = static_cast<std::uint32_t>(std::min<std::uint64_t>(from.bytesLeft, maximumSegment_));
    if (full > 1 && random.chance(kShortWriteShare)) {
        return static_cast<std::uint32_t>(random.between(1, full - 1));
    }
    return full;
}

TcpSegment TcpConnection::segment(const Side& from, const Side& to, std::uint32_t sequence,
                                  std::uint32_t payload, std::uint8_t flags) const {
    TcpSegment result;
    result.vlanId = vlanId_;
    result.ipv6 = ipv6_;
    result.sourceAddress = from.address;
    result.destinationAddress = to.address;
    result.sourcePort = from.port;
    result.destinationPort = to.port;
    result.sequenceNumber = sequence;
    result.acknowledgementNumber = flags == FrameEncoder::kTcpSyn ? 0 : to.nextSequence;
    result.flags = from.bytesLeft == payload && payload > 0 ? flags | FrameEncoder::kTcpPsh : flags;
    result.identification = from.nextIdentification;
    result.payloadBytes = payload;
    return result;
}

}  // namespace korvo::tools::synth
