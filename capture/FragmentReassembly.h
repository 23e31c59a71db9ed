#pragma once
// Puts the fragments of tunnel packets together again, so that a tunnel whose outer IPv4 or IPv6 packets were
// fragmented on the way (GTP-U over a 1500-byte path, say) is followed like any other. Only datagrams whose
// first fragment opens a tunnel are kept whole; others are forgotten as soon as their first fragment says so.
// Bounded: at most kMostPending datagrams and kMostPendingBytes of their bytes wait, none longer than
// kTimeoutMicros of capture time after its first fragment; past a bound the oldest is given up. Where
// fragments overlap, the bytes seen first stand. Nothing beyond the captured bytes is read.

#include <array>
#include <cstdint>
#include <list>
#include <map>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace korvo::measurement {

class FragmentReassembly {
public:
    static constexpr std::size_t kMostPending = 4096;
    static constexpr std::size_t kMostPendingBytes = std::size_t{64} << 20;
    static constexpr std::int64_t kTimeoutMicros = 30'000'000;

    // A whole packet: its IP header (fragment fields cleared, lengths set to the whole) and payload, valid
    // until the next call; and the wire bytes of the frames its fragments came in.
    struct Whole {
        std::span<const unsigned char> packet;
        std::uint64_t wireBytes = 0;
    };

    // An IPv4 fragment whose header starts at `packet`, of which `capturedLength` bytes were captured and
    // `length` (its total length, already held within the frame) make the packet; `wireBytes` of its frame,
    // at `micros` of capture time. Returns the whole packet where this fragment completes a tunnel packet.
    std::optional<Whole> addIpv4(const unsigned char* packet, std::uint32_t capturedLength,
                                 std::uint32_t length, std::uint32_t wireBytes, std::int64_t micros);
    // The same for an IPv6 fragment whose fragment header starts at `fragmentHeader` (its 8 bytes captured),
    // `length` being 40 plus its payload length.
    std::optional<Whole> addIpv6(const unsigned char* packet, std::uint32_t capturedLength,
                                 std::uint32_t length, std::uint32_t fragmentHeader, std::uint32_t wireBytes,
                                 std::int64_t micros);

    // Tunnel packets given up: timed out, pushed out by a bound, or still waiting.
    [[nodiscard]] std::uint64_t incomplete() const;

private:
    // Version, addresses, protocol (IPv4) and identification.
    using Key = std::array<std::uint8_t, 38>;
    struct KeyHash {
        std::size_t operator()(const Key& key) const;
    };
    enum class Kind : std::uint8_t { Unknown, Tunnel, Other };
    struct Datagram {
        Key key{};
        std::int64_t firstSeen = 0;
        Kind kind = Kind::Unknown;
        bool ipv6 = false;
        // The first fragment's IP header (for IPv6 the fixed header), and the protocol its payload carries.
        std::vector<unsigned char> header;
        std::uint8_t protocol = 0;
        std::vector<unsigned char> payload;
        // The payload bytes held: start to end, disjoint.
        std::map<std::uint32_t, std::uint32_t> held;
        std::optional<std::uint32_t> payloadLength;
        std::uint64_t wireBytes = 0;
    };
    // One fragment, as either version gives it.
    struct Piece {
        const unsigned char* header;
        std::uint32_t headerLength;
        std::uint8_t protocol;
        std::uint32_t offset;
        bool more;
        // The payload bytes the fragment carries, and those of them captured.
        std::uint32_t length;
        std::uint32_t captured;
        const unsigned char* bytes;
    };

    std::optional<Whole> add(const Key& key, bool ipv6, const Piece& piece, std::uint32_t wireBytes,
                             std::int64_t micros);
    // Gives up the datagrams timed out at `micros`, then the oldest while a bound is passed.
    void keepBounds(std::int64_t micros, const Datagram* keep);
    void drop(std::list<Datagram>::iterator datagram);
    // Copies what the piece adds to the bytes held.
    void hold(Datagram& datagram, const Piece& piece);
    [[nodiscard]] static bool whole(const Datagram& datagram);
    Whole assemble(const Datagram& datagram);

    std::list<Datagram> pending_;
    std::unordered_map<Key, std::list<Datagram>::iterator, KeyHash> byKey_;
    std::size_t pendingBytes_ = 0;
    std::uint64_t givenUp_ = 0;
    std::vector<unsigned char> assembled_;
};

}  // namespace korvo::measurement
