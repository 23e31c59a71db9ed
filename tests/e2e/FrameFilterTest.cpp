// A frame filter: the frames it keeps give the figures of a capture holding only them, every detail row
// naming the frame's number in the whole capture; a filter that cannot be compiled is a command-line error
// that reads and writes nothing.

#include <regex>
#include <string>
#include <vector>

#include "e2e/SameResults.h"
#include "e2e/ToolTest.h"

namespace korvo::e2e {
namespace {

// One frame of the test capture: whether it belongs to the flow the filter keeps, and its bytes.
struct Frame {
    bool kept;
    std::vector<std::uint8_t> bytes;
    std::size_t capturedBytes;
};

std::vector<std::uint8_t> segment(std::uint32_t from, std::uint16_t fromPort, std::uint32_t to,
                                  std::uint16_t toPort, std::uint32_t sequence) {
    return tools::FrameBuilder().ipv4(from, to).tcp(fromPort, toPort, sequence).payload(100).build();
}

// Two TCP flows and a UDP datagram, interleaved: the flow to port 443 has a truncated frame, a gap and an
// out-of-order segment, the flow to port 80 a truncated frame and a gap of its own.
std::vector<Frame> interleavedFlows() {
    const std::uint32_t client = address(10, 0, 0, 1);
    const std::uint32_t server = address(10, 0, 0, 2);
    const std::uint32_t otherClient = address(10, 0, 0, 3);
    const std::uint32_t otherServer = address(10, 0, 0, 4);
    const auto full = [](std::vector<std::uint8_t> bytes) { return Frame{false, bytes, bytes.size()}; };
    std::vector<Frame> frames = {
        full(segment(otherClient, 2000, otherServer, 80, 5000)),
        full(segment(client, 1000, server, 443, 1000)),
        full(segment(otherClient, 2000, otherServer, 80, 5100)),
        {false, segment(client, 1000, server, 443, 1100), 60},
        full(segment(server, 443, client, 1000, 9000)),
        {false, segment(otherClient, 2000, otherServer, 80, 5200), 60},
        full(segment(client, 1000, server, 443, 1300)),
        full(tools::FrameBuilder().ipv4(client, server).udp(53, 53).payload(40).build()),
        full(segment(otherClient, 2000, otherServer, 80, 5400)),
        full(segment(client, 1000, server, 443, 1200)),
    };
    for (const std::size_t index : {1U, 3U, 4U, 6U, 9U}) {
        frames[index].kept = true;
    }
    return frames;
}

// Replaces every frame number in detail rows by `numbers[number - 1]`.
std::string renumbered(const std::string& rows, const std::vector<std::size_t>& numbers) {
    static const std::regex kNumbered("(Packet Number,|PreGapPacketID,|PostGapPacketID,)([0-9]+)");
    std::string result;
    auto last = rows.cbegin();
    for (std::sregex_iterator match(rows.begin(), rows.end(), kNumbered), end; match != end; ++match) {
        result.append(last, (*match)[2].first);
        result += std::to_string(numbers.at(std::stoul((*match)[2].str()) - 1));
        last = (*match)[2].second;
    }
    result.append(last, rows.cend());
    return result;
}

class FrameFilterTest : public ToolTest {};

TEST_F(FrameFilterTest, KeptFlowGivesTheFiguresOfACaptureOfItAloneWithTheCapturesFrameNumbers) {
    const std::vector<Frame> frames = interleavedFlows();
    TestCapture whole(tool.path(kCapture));
    TestCapture alone(tool.path("flow443.pcap"));
    std::vector<std::size_t> originalNumbers;
    for (std::size_t index = 0; index < frames.size(); ++index) {
        const CaptureTime at{kMarch2008, static_cast<std::uint32_t>(index)};
        whole.addCut(at, frames[index].bytes, frames[index].capturedBytes);
        if (frames[index].kept) {
            alone.addCut(at, frames[index].bytes, frames[index].capturedBytes);
            originalNumbers.push_back(index + 1);
        }
    }
    whole.close();
    alone.close();
    expectQuietSuccess(tool.run({"-i", "flow443.pcap", "-o", "alone", "-e"}));

    expectQuietSuccess(tool.run({"-i", kCapture, "-o", kPrefix, "-e", "--filter", "tcp port 443"}));

    const ResultFiles alonesResults(tool.folder(), "alone");
    EXPECT_EQ(results.summary(), alonesResults.summary());
    EXPECT_EQ(results.fileNames().size(), alonesResults.fileNames().size());
    EXPECT_EQ(results.detail("NumberOfTruncatedPackets"), "Packet Number,4\n");
    for (const std::string& figure : kDetailFigures) {
        EXPECT_EQ(results.detail(figure),
                  renumbered(alonesResults.detail(figure).value_or(""), originalNumbers))
            << figure;
    }
}

TEST_F(FrameFilterTest, EveryFrameKeptGivesTheResultsOfTheUnfilteredRun) {
    const std::vector<Frame> frames = interleavedFlows();
    TestCapture whole(tool.path(kCapture));
    for (std::size_t index = 0; index < frames.size(); ++index) {
        whole.addCut({kMarch2008, static_cast<std::uint32_t>(index)}, frames[index].bytes,
                     frames[index].capturedBytes);
    }
    whole.close();
    expectQuietSuccess(tool.run({"-i", kCapture, "-o", "all", "-e"}));

    expectQuietSuccess(tool.run({"-i", kCapture, "-o", kPrefix, "-e", "-f", "ip"}));

    expectSameResults(ResultFiles(tool.folder(), "all"), results);
}

TEST_F(FrameFilterTest, FilterThatCannotBeCompiledIsACommandLineErrorBeforeAnythingIsRead) {
    newCapture().add({kMarch2008, 0}, segment(1, 1, 2, 2, 3)).close();

    const RunResult result = tool.run({"-i", kCapture, "-o", kPrefix, "-e", "-f", "tcp prot 80"});

    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError,
              "Error parsing command line \nUse --help to print usage syntax \nThe filter \"tcp prot 80\" "
              "cannot be "
              "compiled for link type EN10MB (1) of in.pcap: can't parse filter expression: syntax error\n");
    EXPECT_TRUE(results.fileNames().empty());
}

}  // namespace
}  // namespace korvo::e2e
