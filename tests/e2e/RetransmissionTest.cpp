// --retransmissions: a written capture of one connection per rule (overlaps, holes, wrap-around, keep-alives,
// zero-window probes, copies, repeated SYNs, acknowledgements beyond what was sent) against a reviewed
// baseline of every result file; the same synthesised traffic on one thread and on several with temporary
// files; and the retransmission files of an earlier run removed by a run without the option.
//
// The baseline is tests/e2e/data/Retransmissions.baseline. After a reviewed change, rewrite it with
//   WIRETALLY_UPDATE_BASELINES=1 ctest --test-dir build -R RetransmissionTest.MatchesTheBaseline
// and check the difference with git diff before committing it.

#include <string>
#include <vector>

#include "e2e/Baseline.h"
#include "e2e/ConnectionFrames.h"
#include "e2e/SameResults.h"
#include "e2e/ToolTest.h"
#include "tools/synth/Synthesiser.h"

namespace korvo::e2e {
namespace {

using tools::FrameBuilder;

const std::vector<std::string> kRetransmissionFiles = {"NumberTCPRetransmissions",
                                                       "NumberTCPRetransmissionFlows"};

class RetransmissionTest : public ToolTest {
protected:
    void writeBaselineCapture(TestCapture& capture);
};

// Frame by frame, one connection per client port:
//  1001: a SYN sent twice (a retransmission of its one sequence number, though it looks like a keep-alive;
//        the handshake counts from the second: 20 ms to the SYN-ACK, 5 ms to the ACK), two data segments,
//        an ACK of both, then the second sent again and both sent again as one: two spurious
//        retransmissions of 100 and 200 bytes.
//  1002: first captured mid-stream: 100 bytes, a hole of 100, 100 bytes, 50 bytes into the hole (not a
//        retransmission: it fills a hole), then 300 bytes over the first, the filled part, the rest of the
//        hole, the third and beyond: 200 bytes retransmitted.
//  1003: 100 bytes across 2^32, 100 more, then 50 bytes across 2^32 again: 50 bytes retransmitted.
//  1004: 256 bytes ending at 2^32, acknowledged; keep-alives of one and of no byte one below 2^32 (not
//        retransmissions); then the last 16 bytes again: spurious.
//  1005: 100 bytes, none acknowledged and a zero window advertised, one of them sent again as a probe
//        (not a retransmission); the window opens and the same byte is sent again: a retransmission, not
//        spurious; then keep-alives of one and of no byte below the end (not retransmissions).
//  1006: SYN, FIN and 10 bytes in one segment (12 sequence numbers), a copy of it with the same
//        identification (a repeat, counted as a duplicate), then sent again with a new one: 12 bytes.
//  1007: a SYN, then a SYN with another initial sequence number (no retransmission), a SYN-ACK of the
//        second 30 ms later and the ACK 2 ms after it.
//  1008: 100 bytes, an acknowledgement 100 bytes beyond them, 100 more, the same 100 again: an
//        acknowledgement of what was never sent acknowledges nothing, so not spurious.
//  1010: a connection of 100 bytes and FINs, then a new one on the same ports whose SYN falls inside the
//        first's sequence space, and whose SYN-ACK reuses the server's first initial sequence number:
//        nothing sent before either SYN counts, so nothing is retransmitted.
//  1011: a handshake whose SYN-ACK was stamped before its SYN: not timed.
//  2009: over IPv6: 10 bytes sent twice, the same identification (none): a retransmission.
void RetransmissionTest::writeBaselineCapture(TestCapture& capture) {
    ConnectionFrames frames(capture);
    constexpr std::uint8_t kSyn = FrameBuilder::kTcpSyn;
    constexpr std::uint8_t kAck = FrameBuilder::kTcpAck;
    constexpr std::uint8_t kFin = FrameBuilder::kTcpFin;
    std::uint32_t t = 0;
    const auto at = [&t](std::uint32_t micros) { return t += micros; };

    frames.add(at(0), {1001, true, 1000, kSyn});
    frames.add(at(1000000), {1001, true, 1000, kSyn});
    frames.add(at(20000), {1001, false, 5000, kSyn | kAck, 1001});
    frames.add(at(5000), {1001, true, 1001, kAck, 5001});
    frames.add(at(10), {1001, true, 1001, kAck, 5001, 100});
    frames.add(at(10), {1001, true, 1101, kAck, 5001, 100});
    frames.add(at(10), {1001, false, 5001, kAck, 1201});
    frames.add(at(10), {1001, true, 1101, kAck, 5001, 100});
    frames.add(at(10), {1001, true, 1001, kAck, 5001, 200});

    frames.add(at(10), {1002, true, 10000, kAck, 1, 100});
    frames.add(at(10), {1002, true, 10200, kAck, 1, 100});
    frames.add(at(10), {1002, true, 10100, kAck, 1, 50});
    frames.add(at(10), {1002, true, 10050, kAck, 1, 300});

    frames.add(at(10), {1003, true, 0xFFFFFFB0, kAck, 1, 100});
    frames.add(at(10), {1003, true, 0x14, kAck, 1, 100});
    frames.add(at(10), {1003, true, 0xFFFFFFF0, kAck, 1, 50});

    frames.add(at(10), {1004, true, 0xFFFFFF00, kAck, 1, 256});
    frames.add(at(10), {1004, false, 1, kAck, 0});
    frames.add(at(10), {1004, true, 0xFFFFFFFF, kAck, 1, 1});
    frames.add(at(10), {1004, true, 0xFFFFFFFF, kAck, 1, 0});
    frames.add(at(10), {1004, true, 0xFFFFFFF0, kAck, 1, 16});

    frames.add(at(10), {1005, true, 3000, kAck, 1, 100});
    frames.add(at(10), {1005, false, 1, kAck, 3000, 0, std::nullopt, 0});
    frames.add(at(10), {1005, true, 3050, kAck, 1, 1});
    frames.add(at(10), {1005, false, 1, kAck, 3000});
    frames.add(at(10), {1005, true, 3050, kAck, 1, 1});
    frames.add(at(10), {1005, true, 3099, kAck, 1, 1});
    frames.add(at(10), {1005, true, 3099, kAck, 1, 0});

    frames.add(at(10), {1006, true, 7000, kSyn | kFin, 0, 10, 600});
    frames.add(at(10), {1006, true, 7000, kSyn | kFin, 0, 10, 600});
    frames.add(at(10), {1006, true, 7000, kSyn | kFin, 0, 10, 601});

    frames.add(at(10), {1007, true, 100, kSyn});
    frames.add(at(1000000), {1007, true, 900000, kSyn});
    frames.add(at(30000), {1007, false, 4000, kSyn | kAck, 900001});
    frames.add(at(2000), {1007, true, 900001, kAck, 4001});

    frames.add(at(10), {1008, true, 500, kAck, 1, 100});
    frames.add(at(10), {1008, false, 1, kAck, 700});
    frames.add(at(10), {1008, true, 600, kAck, 1, 100});
    frames.add(at(10), {1008, true, 600, kAck, 1, 100});

    frames.add(at(10), {1010, true, 1000, kSyn});
    frames.add(at(10), {1010, true, 1001, kAck, 1, 100});
    frames.add(at(10), {1010, true, 1101, kFin | kAck, 1});
    frames.add(at(10), {1010, false, 1, kFin | kAck, 1102});
    frames.add(at(10), {1010, true, 1050, kSyn});
    frames.add(at(10), {1010, false, 1, kSyn | kAck, 1051});
    frames.add(at(10), {1010, true, 1051, kAck, 2, 100});

    frames.add(at(10), {1011, true, 50, kSyn});
    frames.add(t - 5000, {1011, false, 70, kSyn | kAck, 51});
    frames.add(at(10), {1011, true, 51, kAck, 71});

    frames.add(at(10), {2009, true, 1, kAck, 1, 10});
    frames.add(at(10), {2009, true, 1, kAck, 1, 10});
}

TEST_F(RetransmissionTest, MatchesTheBaseline) {
    TestCapture capture = newCapture();
    writeBaselineCapture(capture);
    capture.close();

    const RunResult result = tool.run(
        {"--retransmissions", "--ipv6", "--json", "-e", "--flow-table", "-i", kCapture, "-o", kPrefix});
    expectQuietSuccess(result);
    std::string all = allResults(results);
    for (const std::string& figure : kRetransmissionFiles) {
        all += "== " + figure + ".csv\n" + results.detail(figure).value_or("(missing)\n");
    }
    expectMatchesBaseline(all, "Retransmissions.baseline");

    // A run without the option writes none of it, and takes away what the earlier run wrote.
    expectQuietSuccess(tool.run({"--ipv6", "-e", "--flow-table", "-i", kCapture, "-o", kPrefix}));
    EXPECT_EQ(results.summary()->find("Retransmission"), std::string::npos);
    for (const std::string& figure : kRetransmissionFiles) {
        EXPECT_FALSE(results.detail(figure)) << figure;
    }
}

TEST_F(RetransmissionTest, ThreadsAndTemporaryFilesChangeNothing) {
    tools::synth::SynthOptions options;
    options.output = tool.path(kCapture).string();
    options.seed = 29;
    options.size = 1024 * 1024;
    options.mix.concurrency = 32;
    options.mix.ipv6Share = 0.25;
    options.mix.otherShare = 0;
    options.mix.maxTransfer = 64 * 1024;
    options.mix.anomalies = {.loss = 0.02, .reorder = 0.02, .duplicate = 0.02, .retransmit = 0.05};
    tools::synth::synthesise(options);

    const std::vector<std::string> common = {"--all", "-e", "-i", kCapture};
    std::vector<std::string> one = common;
    one.insert(one.end(), {"--threads", "1", "-o", "one"});
    std::vector<std::string> several = common;
    several.insert(several.end(), {"--threads", "3", "--max-memory", "64K", "-o", "several"});
    ASSERT_EQ(tool.run(one).exitStatus, 0);
    ASSERT_EQ(tool.run(several).exitStatus, 0);
    const ResultFiles first(tool.folder(), "one");
    const ResultFiles second(tool.folder(), "several");
    ASSERT_NE(first.summaryValue("NumberTCPRetransmissions"), "0");
    ASSERT_NE(first.summaryValue("MedianHandshakeRTTInMs"), "nan");
    expectSameResults(first, second);
    EXPECT_EQ(first.detail("Flows"), second.detail("Flows"));
    for (const std::string& figure : kRetransmissionFiles) {
        EXPECT_EQ(first.detail(figure), second.detail(figure)) << figure;
    }
}

}  // namespace
}  // namespace korvo::e2e
