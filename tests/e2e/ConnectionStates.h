#pragma once
// A capture with one flow for each connection state, and flows for the inputs whose outcome must be defined:
// data on a RST and on a SYN, every flag at once, a RST before any SYN, a zero window without a window
// scale, a connection captured in mid-stream, a port pair used again, and a refusal of a port pair used
// again. Shared by the connection test and
// the man page's check of the detail rows.

#include <cstdint>

#include "e2e/ConnectionFrames.h"

namespace korvo::e2e {

class ConnectionStates {
public:
    static constexpr std::uint8_t kSyn = tools::FrameBuilder::kTcpSyn;
    static constexpr std::uint8_t kAck = tools::FrameBuilder::kTcpAck;
    static constexpr std::uint8_t kFin = tools::FrameBuilder::kTcpFin;
    static constexpr std::uint8_t kRst = 0x04;

    explicit ConnectionStates(TestCapture& capture) : frames_(capture) {}

    // Writes every flow, one after the other, a second apart.
    void writeAll() {
        unanswered(1101);
        refused(1102);
        established(1103);
        closed(1104, kFin, kFin);
        closed(1105, kFin, 0);
        closed(1106, 0, kFin);
        resetAfterData(1107, true);
        resetAfterData(1108, false);
        send(1109, true, 100, kSyn);
        send(1109, true, 101, kRst, 0, 0, 100);
        synAckThen(1110, kRst);
        send(1111, true, 100, kSyn);
        send(1111, true, 101, kFin | kAck, 0, 0, 100);
        synAckThen(1112, kFin);
        midStream(1113);
        zeroWindows(1114);
        karn(1115);
        hole(1116);
        handshake(1117);
        send(1117, true, 101, kRst | kAck, 501, 10, 3000);
        dataOnSyn(1118);
        send(1119, true, 100, 0x3F, 0, 5);
        rstBeforeSyn(1120);
        reusedPorts(1121);
        refusedOnReuse(1122);
        resetOnReuse(1123);
        resetAfterAStrayAck(1124);
        resetBeforeTheHandshake(1125);
        acknowledgedBeyondTheCapture(1126);
        stalledUntilReset(1127);
        closed(2001, kFin, kFin);
    }

private:
    // Client 100 and server 500 begin each connection; every segment comes `micros` after the one before.
    void send(std::uint16_t port, bool fromClient, std::uint32_t sequence, std::uint8_t flags,
              std::uint32_t acknowledgement = 0, std::size_t bytes = 0, std::uint32_t micros = 1000,
              std::uint16_t window = 65535) {
        time_ += micros;
        frames_.add(time_, {.port = port,
                            .fromClient = fromClient,
                            .sequence = sequence,
                            .flags = flags,
                            .acknowledgement = acknowledgement,
                            .bytes = bytes,
                            .window = window});
    }
    void nextFlow() { time_ += 1000000; }

    void handshake(std::uint16_t port) {
        nextFlow();
        send(port, true, 100, kSyn);
        send(port, false, 500, kSyn | kAck, 101, 0, 20000);
        send(port, true, 101, kAck, 501, 0, 20000);
    }
    void unanswered(std::uint16_t port) {
        nextFlow();
        send(port, true, 100, kSyn);
        send(port, true, 100, kSyn, 0, 0, 1000000);
    }
    void refused(std::uint16_t port) {
        nextFlow();
        send(port, true, 100, kSyn);
        send(port, false, 0, kRst | kAck, 101, 0, 300);
    }
    // 100 bytes each way: the server acknowledges 5 ms later, the client 1 ms later.
    void exchange(std::uint16_t port) {
        send(port, true, 101, kAck, 501, 100);
        send(port, false, 501, kAck, 201, 0, 5000);
        send(port, false, 501, kAck, 201, 100);
        send(port, true, 201, kAck, 601, 0, 1000);
    }
    void established(std::uint16_t port) {
        handshake(port);
        exchange(port);
    }
    void closed(std::uint16_t port, std::uint8_t clientFin, std::uint8_t serverFin) {
        established(port);
        if (clientFin != 0) {
            send(port, true, 201, kFin | kAck, 601);
            send(port, false, 601, kAck, 202);
        }
        if (serverFin != 0) {
            send(port, false, 601, kFin | kAck, 201 + (clientFin != 0 ? 1 : 0));
            send(port, true, 201 + (clientFin != 0 ? 1 : 0), kAck, 602);
        }
    }
    void resetAfterData(std::uint16_t port, bool byClient) {
        established(port);
        send(port, byClient, byClient ? 201 : 601, kRst | kAck, byClient ? 601 : 201);
    }
    void synAckThen(std::uint16_t port, std::uint8_t flag) {
        nextFlow();
        send(port, false, 500, kSyn | kAck, 101);
        send(port, false, 501, flag | kAck, 101, 0, 200000);
    }
    void midStream(std::uint16_t port) {
        nextFlow();
        send(port, true, 7000, kAck, 900, 100);
        send(port, false, 900, kAck, 7100, 0, 4000);
        send(port, true, 7100, kFin | kAck, 900);
    }
    // The server closes its window twice (two segments of the first stall), for 200 ms and then 50 ms.
    void zeroWindows(std::uint16_t port) {
        handshake(port);
        send(port, true, 101, kAck, 501, 100);
        send(port, false, 501, kAck, 201, 0, 1000, 0);
        send(port, false, 501, kAck, 201, 0, 100000, 0);
        send(port, false, 501, kAck, 201, 0, 100000);
        send(port, true, 201, kAck, 501, 100);
        send(port, false, 501, kAck, 301, 0, 1000, 0);
        send(port, false, 501, kAck, 301, 0, 50000);
        send(port, true, 301, kFin | kAck, 501);
        send(port, false, 501, kFin | kAck, 302);
        send(port, true, 302, kAck, 502);
    }
    // The first 100 bytes are sent again before their acknowledgement, which times neither copy; the next
    // 100 are acknowledged 2 ms later.
    void karn(std::uint16_t port) {
        handshake(port);
        send(port, true, 101, kAck, 501, 100);
        send(port, true, 101, kAck, 501, 100, 300000);
        send(port, false, 501, kAck, 201, 0, 1000);
        send(port, true, 201, kAck, 501, 100);
        send(port, false, 501, kAck, 301, 0, 2000);
    }
    // 50 bytes never captured between two segments of the client.
    void hole(std::uint16_t port) {
        handshake(port);
        send(port, true, 101, kAck, 501, 100);
        send(port, true, 251, kAck, 501, 100);
        send(port, false, 501, kAck, 351, 0, 3000);
    }
    void dataOnSyn(std::uint16_t port) {
        nextFlow();
        send(port, true, 100, kSyn, 0, 20);
        send(port, false, 500, kSyn | kAck, 121);
        send(port, true, 121, kFin | kAck, 501);
        send(port, false, 501, kFin | kAck, 122);
        send(port, true, 122, kAck, 502);
    }
    void rstBeforeSyn(std::uint16_t port) {
        nextFlow();
        send(port, true, 50, kRst);
        closed(port, kFin, kFin);
    }
    // Reset by the server, then a new connection from another sequence number that closes normally.
    void reusedPorts(std::uint16_t port) {
        resetAfterData(port, false);
        nextFlow();
        send(port, true, 90000, kSyn);
        send(port, false, 7000, kSyn | kAck, 90001);
        send(port, true, 90001, kFin | kAck, 7001);
        send(port, false, 7001, kFin | kAck, 90002);
        send(port, true, 90002, kAck, 7002);
    }

    // A closed connection, then a new SYN refused by a RST with sequence number 0, as a host answers a SYN
    // on a closed port: the RST belongs to the new attempt, and opens no hole in the old sequence space.
    void refusedOnReuse(std::uint16_t port) {
        closed(port, kFin, kFin);
        nextFlow();
        send(port, true, 90000, kSyn);
        send(port, false, 0, kRst | kAck, 90001, 0, 300);
    }

    // A closed connection, then one from new sequence numbers that the client resets after 50 bytes: RSTO.
    void resetOnReuse(std::uint16_t port) {
        closed(port, kFin, kFin);
        nextFlow();
        send(port, true, 90000, kSyn);
        send(port, false, 7000, kSyn | kAck, 90001);
        send(port, true, 90001, kAck, 7001);
        send(port, true, 90001, kAck, 7001, 50);
        send(port, false, 7001, kAck, 90051);
        send(port, true, 90051, kRst | kAck, 7001);
    }
    // A stray acknowledgement from the server, then a connection that the client resets: RSTO.
    void resetAfterAStrayAck(std::uint16_t port) {
        nextFlow();
        send(port, false, 400, kAck, 99);
        handshake(port);
        send(port, true, 101, kRst | kAck, 501);
    }
    // A RST from the server before the client's SYN belongs to nothing that follows: SF.
    void resetBeforeTheHandshake(std::uint16_t port) {
        nextFlow();
        send(port, false, 50, kRst);
        closed(port, kFin, kFin);
    }
    // The capture misses the client's second 100 bytes; the server's acknowledgement of both, 5 ms after the
    // first, times the first, and the third is acknowledged 5 ms after it too.
    void acknowledgedBeyondTheCapture(std::uint16_t port) {
        handshake(port);
        send(port, true, 101, kAck, 501, 100, 10000);
        send(port, false, 501, kAck, 301, 0, 5000);
        send(port, true, 301, kAck, 501, 100, 100000);
        send(port, false, 501, kAck, 401, 0, 5000);
    }
    // The server closes its window and the client resets 1 ms later; a new connection two seconds later
    // opens it again. The stall lasted 1 ms, not the time between the connections.
    void stalledUntilReset(std::uint16_t port) {
        handshake(port);
        send(port, false, 501, kAck, 101, 0, 1000, 0);
        send(port, true, 101, kRst | kAck, 501, 0, 1000);
        nextFlow();
        nextFlow();
        send(port, true, 80000, kSyn);
        send(port, false, 9000, kSyn | kAck, 80001);
        send(port, true, 80001, kAck, 9001);
        send(port, false, 9001, kAck, 80001);
    }

    ConnectionFrames frames_;
    std::uint32_t time_ = 0;
};

}  // namespace korvo::e2e
