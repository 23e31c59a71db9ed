// Tunnel packets whose outer IPv4 packets were fragmented on the way: with --tunnels they are put together
// and followed, in order, reversed or overlapping, and one that never came whole leaves a hole and a note;
// without it the first fragments are noted. Against a reviewed baseline,
// tests/e2e/data/TunnelFragments.baseline; after a reviewed change rewrite it with
//   WIRETALLY_UPDATE_BASELINES=1 ctest --test-dir build -R TunnelFragmentTest
// and check the difference with git diff before committing it.

#include <algorithm>
#include <string>
#include <vector>

#include "e2e/Baseline.h"
#include "e2e/ToolTest.h"
#include "tools/Encapsulator.h"
#include "tools/IpFragmenter.h"

namespace korvo::e2e {
namespace {

using tools::FrameBuilder;
using Frame = std::vector<std::uint8_t>;

class TunnelFragmentTest : public ToolTest {
protected:
    // A segment from 10.0.0.1:1000 to 10.0.0.2:80 (or back) inside GTP-U.
    static Frame tunnelled(bool fromClient, std::uint32_t sequence, std::uint8_t flags, std::size_t bytes) {
        const std::uint32_t client = address(10, 0, 0, 1);
        const std::uint32_t server = address(10, 0, 0, 2);
        const Frame bare = FrameBuilder()
                               .ipv4(fromClient ? client : server, fromClient ? server : client)
                               .tcp(fromClient ? 1000 : 80, fromClient ? 80 : 1000, sequence, flags, 1)
                               .payload(bytes)
                               .build();
        return tools::Encapsulator::wrap(tools::Encapsulator::Kind::GtpUser,
                                         {bare, static_cast<std::uint32_t>(bare.size())})
            .captured;
    }

    void add(const Frame& frame) {
        capture_.add({kMarch2008, time_}, frame);
        time_ += 100;
    }

    TestCapture capture_ = newCapture();
    std::uint32_t time_ = 0;
};

// A handshake, then four segments of 1400 bytes whose outer packets come in fragments of 512 bytes: in
// order; reversed; with a forged copy of the second fragment first and the rest shuffled (the bytes seen
// first stand, and the TCP header lies in the first fragment); and one whose last fragment never comes (a
// hole of 1400 bytes inside). Then 100 bytes whole, and a fragmented DNS answer, no tunnel packet.
TEST_F(TunnelFragmentTest, MatchesTheBaseline) {
    constexpr std::uint8_t kSyn = FrameBuilder::kTcpSyn;
    constexpr std::uint8_t kAck = FrameBuilder::kTcpAck;
    add(tunnelled(true, 1000, kSyn, 0));
    add(tunnelled(false, 5000, kSyn | kAck, 0));
    std::uint32_t sequence = 1001;
    for (std::uint32_t shape = 0; shape < 4; ++shape, sequence += 1400) {
        std::vector<Frame> fragments =
            tools::IpFragmenter::fragment(tunnelled(true, sequence, kAck, 1400), 512, 100 + shape);
        switch (shape) {
            case 1:
                std::reverse(fragments.begin(), fragments.end());
                break;
            case 2: {
                Frame forged = fragments[1];
                std::fill(forged.end() - 100, forged.end(), 0xEE);
                fragments = {forged, fragments[2], fragments[0], fragments[1]};
                break;
            }
            case 3:
                fragments.pop_back();
                break;
            default:
                break;
        }
        for (const Frame& fragment : fragments) {
            add(fragment);
        }
    }
    add(tunnelled(true, sequence, kAck, 100));
    for (const Frame& fragment :
         tools::IpFragmenter::fragment(FrameBuilder()
                                           .ipv4(address(10, 0, 0, 53), address(10, 0, 0, 1))
                                           .udp(53, 5353)
                                           .payload(900)
                                           .build(),
                                       512, 7)) {
        add(fragment);
    }
    capture_.close();

    const RunResult result =
        tool.run({"--tunnels", "--json", "-e", "--flow-table", "-i", kCapture, "-o", kPrefix});
    EXPECT_EQ(result.exitStatus, 0);
    std::string all = allResults(results);
    all += "== standard error\n" + result.standardError;
    all += "== Summary.json coverage\n" + jsonSection(tool.path("out.Summary.json"), "coverage");

    const RunResult without = tool.run({"--json", "-e", "-i", kCapture, "-o", kPrefix});
    EXPECT_EQ(without.exitStatus, 0);
    all += "== standard error without --tunnels\n" + without.standardError;
    all += "== NumberIPFragments.csv without --tunnels\n" + results.detail("NumberIPFragments").value_or("");
    all += "== Summary.json coverage without --tunnels\n" +
           jsonSection(tool.path("out.Summary.json"), "coverage");
    expectMatchesBaseline(all, "TunnelFragments.baseline");
}

}  // namespace
}  // namespace korvo::e2e
