// The per-flow wire byte tally: both directions of a flow land in one entry, whichever comes first; tens of
// thousands of flows survive the tables' growth with their own counts, also when their shard is settled in
// several pieces; the flows with no distinct endpoints (both ends alike, every field zero) are kept like any
// other; counts past 4 GiB survive, also through the file a split run hands them on in, which only its own
// shard takes.

#include <gtest/gtest.h>

#include <unistd.h>
#include <array>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "flow/FlowVolumeTally.h"
#include "tools/FrameBuilder.h"

namespace korvo::measurement {
namespace {

using tools::FrameBuilder;

class FlowVolumeTallyTest : public ::testing::Test {
protected:
    // One TCP segment from source to destination whose frame was `wireLength` bytes on the wire, kept in its
    // shard as the flow table keeps it.
    void send(std::uint32_t source, std::uint16_t sourcePort, std::uint32_t destination,
              std::uint16_t destinationPort, std::uint32_t wireLength) {
        const FlowTuple flow = tuple(source, sourcePort, destination, destinationPort);
        const std::size_t shard = ShardRule::shardOf(ShardRule::orderKey(flow));
        kept_[shard].push_back(ShardSegment{
            {}, {flow.sourceAddress, flow.destinationAddress, flow.sourcePort, flow.destinationPort}});
        tally.noteLength(shard, wireLength);
    }

    // Adds what every shard kept so far to the tally, as the flow table does before it sorts a shard.
    void settle() {
        for (std::size_t shard = 0; shard < kept_.size(); ++shard) {
            tally.settle(shard, kept_[shard]);
            kept_[shard].release();
        }
    }

    // The tuple of a segment from source to destination.
    FlowTuple tuple(std::uint32_t source, std::uint16_t sourcePort, std::uint32_t destination,
                    std::uint16_t destinationPort) {
        FrameBuilder().ipv4(source, destination).tcp(sourcePort, destinationPort, 1).build(frame_);
        return FlowTuple(reinterpret_cast<const net::ip*>(frame_.data() + 14));
    }

    // The volume of the flow of that tuple, once every frame sent so far has been added.
    FlowVolumeTally::Volume volume(std::uint32_t source, std::uint16_t sourcePort, std::uint32_t destination,
                                   std::uint16_t destinationPort) {
        settle();
        return tally.volumeOf(tuple(source, sourcePort, destination, destinationPort));
    }

    FlowVolumeTally tally;
    std::array<ChunkedStore<ShardSegment>, ShardRule::kShards> kept_;
    std::vector<std::uint8_t> frame_;
};

TEST_F(FlowVolumeTallyTest, BothDirectionsOfAFlowAddUpSeparately) {
    // The higher endpoint speaks first, so the flow's forward direction runs from higher to lower.
    send(0x0A000002, 80, 0x0A000001, 5000, 1000);
    send(0x0A000001, 5000, 0x0A000002, 80, 60);
    send(0x0A000002, 80, 0x0A000001, 5000, 1500);

    const FlowVolumeTally::Volume forward = volume(0x0A000002, 80, 0x0A000001, 5000);
    EXPECT_EQ(forward.forward, 2500U);
    EXPECT_EQ(forward.reverse, 60U);
    const FlowVolumeTally::Volume reverse = volume(0x0A000001, 5000, 0x0A000002, 80);
    EXPECT_EQ(reverse.forward, 60U);
    EXPECT_EQ(reverse.reverse, 2500U);
    // Same addresses, another port: another flow, never seen.
    const FlowVolumeTally::Volume other = volume(0x0A000001, 5001, 0x0A000002, 80);
    EXPECT_EQ(other.forward + other.reverse, 0U);
}

TEST_F(FlowVolumeTallyTest, EveryFlowKeepsItsOwnCountThroughGrowth) {
    // Neighbouring addresses and ports, as in a scan: flows that a plain sum of the fields would mix up.
    constexpr std::uint32_t kFlows = 50000;
    for (std::uint32_t round = 0; round < 2; ++round) {
        for (std::uint32_t flow = 0; flow < kFlows; ++flow) {
            send(0x0A000000 + flow / 1000, static_cast<std::uint16_t>(1000 + flow % 1000), 0xC0A80001, 443,
                 flow + 1);
        }
        // The first round is settled on its own, as a shard that went to its temporary file.
        settle();
    }
    for (std::uint32_t flow = 0; flow < kFlows; ++flow) {
        const FlowVolumeTally::Volume counted =
            volume(0x0A000000 + flow / 1000, static_cast<std::uint16_t>(1000 + flow % 1000), 0xC0A80001, 443);
        ASSERT_EQ(counted.forward, 2 * (flow + 1)) << flow;
        ASSERT_EQ(counted.reverse, 0U) << flow;
    }
}

TEST_F(FlowVolumeTallyTest, CountsPastFourGigabytesPerDirection) {
    for (int frame = 0; frame < 3; ++frame) {
        send(0x0A000001, 1, 0x0A000002, 2, 0xFFFFFFFFU);
    }
    send(0x0A000002, 2, 0x0A000001, 1, 0xFFFFFFFFU);
    send(0x0A000002, 2, 0x0A000001, 1, 2);
    EXPECT_EQ(volume(0x0A000001, 1, 0x0A000002, 2).forward, 3 * std::uint64_t{0xFFFFFFFFU});
    EXPECT_EQ(volume(0x0A000001, 1, 0x0A000002, 2).reverse, std::uint64_t{0xFFFFFFFFU} + 2);

    // A split run's steps hand the whole count on.
    const FlowTuple flow = tuple(0x0A000001, 1, 0x0A000002, 2);
    const std::size_t shard = ShardRule::shardOf(ShardRule::orderKey(flow));
    const std::string path =
        (std::filesystem::temp_directory_path() / ("wiretally-volumes-" + std::to_string(::getpid())))
            .string();
    tally.writeShard(shard, path);
    FlowVolumeTally other;
    other.readShard(shard, path);
    other.readShard(shard, path);
    // A file handed to the wrong shard would add its flows where no row looks for them.
    EXPECT_THROW(other.readShard((shard + 1) % ShardRule::kShards, path), std::runtime_error);
    std::filesystem::remove(path);
    EXPECT_EQ(other.volumeOf(flow).forward, 6 * std::uint64_t{0xFFFFFFFFU});
    EXPECT_EQ(other.volumeOf(flow).reverse, 2 * (std::uint64_t{0xFFFFFFFFU} + 2));
}

TEST_F(FlowVolumeTallyTest, FlowsWithoutDistinctEndpointsAreForwardOnly) {
    send(0x0A000009, 9999, 0x0A000009, 9999, 70);
    send(0x0A000009, 9999, 0x0A000009, 9999, 80);
    send(0, 0, 0, 0, 54);
    send(0, 0, 0, 0, 60);

    const FlowVolumeTally::Volume self = volume(0x0A000009, 9999, 0x0A000009, 9999);
    EXPECT_EQ(self.forward, 150U);
    EXPECT_EQ(self.reverse, 0U);
    const FlowVolumeTally::Volume zero = volume(0, 0, 0, 0);
    EXPECT_EQ(zero.forward, 114U);
    EXPECT_EQ(zero.reverse, 0U);
}

}  // namespace
}  // namespace korvo::measurement
