// Several captures read as one: rotated pieces give the results of the capture they were cut from, captures
// taken side by side are merged in time order (equal times in the order named) and numbered across both,
// captures of different link types (several files, or the interfaces of one pcapng) are each lifted by their
// own, and standard input named twice and a damaged record in one of them end the run as documented.

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "e2e/SameResults.h"
#include "e2e/ToolTest.h"
#include "support/CaptureRecords.h"
#include "support/LinkFraming.h"
#include "support/PcapngImage.h"
#include "tools/synth/Synthesiser.h"

namespace korvo::e2e {
namespace {

class SeveralCapturesTest : public ToolTest {
protected:
    void synthesise(const std::string& name, std::uint64_t seed) const {
        tools::synth::SynthOptions options;
        options.output = tool.path(name).string();
        options.seed = seed;
        options.size = 200 * 1024;
        options.truncateShare = 0.02;
        tools::synth::synthesise(options);
    }

    // The synthesised captures hold IPv6 frames, which the run notes as left out.
    static void expectSuccess(const RunResult& result) {
        EXPECT_EQ(result.exitStatus, 0) << result.standardOutput << result.standardError;
        EXPECT_EQ(result.standardOutput, "");
    }

    [[nodiscard]] static std::vector<std::uint8_t> segment(std::uint32_t sequence) {
        return tools::FrameBuilder()
            .ipv4(address(10, 0, 0, 1), address(10, 0, 0, 2))
            .tcp(1000, 80, sequence)
            .payload(100)
            .build();
    }
};

TEST_F(SeveralCapturesTest, RotatedFilesGiveTheResultsOfTheCaptureTheyWereCutFrom) {
    synthesise(kCapture, 5);
    const CaptureRecords whole(tool.path(kCapture));
    const std::size_t count = whole.records().size();
    whole.writeRange(tool.path("ring1.pcap"), 0, count / 3);
    whole.writeRange(tool.path("ring2.pcap"), count / 3, 2 * count / 3);
    whole.writeRange(tool.path("ring3.pcap"), 2 * count / 3, count);
    expectSuccess(tool.run({"-i", kCapture, "-o", "whole", "-e"}));

    expectSuccess(
        tool.run({"-i", "ring1.pcap", "-i", "ring2.pcap", "-i", "ring3.pcap", "-o", kPrefix, "-e"}));

    expectSameResults(ResultFiles(tool.folder(), "whole"), results);
}

TEST_F(SeveralCapturesTest, CapturesTakenSideBySideAreMergedInTimeOrder) {
    synthesise("left.pcap", 21);
    synthesise("right.pcap", 22);
    const CaptureRecords left(tool.path("left.pcap"));
    const CaptureRecords right(tool.path("right.pcap"));
    std::vector<CaptureRecords::Record> merged;
    std::merge(left.records().begin(), left.records().end(), right.records().begin(), right.records().end(),
               std::back_inserter(merged), [](const auto& first, const auto& second) {
                   return std::pair(first.seconds, first.microseconds) <
                          std::pair(second.seconds, second.microseconds);
               });
    left.write(tool.path("expected.pcap"), merged);
    expectSuccess(tool.run({"-i", "expected.pcap", "-o", "merged", "-e"}));

    expectSuccess(tool.run({"-i", "left.pcap", "-i", "right.pcap", "-o", kPrefix, "-e"}));

    expectSameResults(ResultFiles(tool.folder(), "merged"), results);
}

TEST_F(SeveralCapturesTest, EqualTimesKeepTheOrderInWhichTheFilesWereNamed) {
    TestCapture(tool.path("cut.pcap")).addCut({kMarch2008, 7}, segment(1), 60).close();
    TestCapture(tool.path("whole.pcap")).add({kMarch2008, 7}, segment(101)).close();

    expectQuietSuccess(tool.run({"-i", "cut.pcap", "-i", "whole.pcap", "-o", "cutFirst"}));
    expectQuietSuccess(tool.run({"-i", "whole.pcap", "-i", "cut.pcap", "-o", "cutSecond"}));

    EXPECT_EQ(ResultFiles(tool.folder(), "cutFirst").detail("NumberOfTruncatedPackets"), "Packet Number,1\n");
    EXPECT_EQ(ResultFiles(tool.folder(), "cutSecond").detail("NumberOfTruncatedPackets"),
              "Packet Number,2\n");
    EXPECT_EQ(ResultFiles(tool.folder(), "cutSecond").summaryValue("TotalVolumeInB"), "308");
}

TEST_F(SeveralCapturesTest, DamagedRecordInOneCaptureEndsAllReadingWhereTheMergeComesToIt) {
    TestCapture even(tool.path("even.pcap"));
    for (std::uint32_t at = 0; at < 10; at += 2) {
        even.add({kMarch2008, at}, segment(at * 100));
    }
    even.close();
    TestCapture(tool.path("odd.pcap"))
        .add({kMarch2008, 1}, segment(100))
        .add({kMarch2008, 3}, segment(300))
        .add({kMarch2008, 5}, segment(500))
        .close();
    std::filesystem::resize_file(tool.path("odd.pcap"),
                                 std::filesystem::file_size(tool.path("odd.pcap")) - 10);

    const RunResult result = tool.run({"--json", "-i", "even.pcap", "-i", "odd.pcap", "-o", kPrefix});

    EXPECT_EQ(result.exitStatus, 254);
    EXPECT_TRUE(result.standardOutput.starts_with(
        "PacketLoader::openInputFile() Error reading packet: odd.pcap: truncated dump file"))
        << result.standardOutput;
    // Frames at 0, 1, 2 and 3 microseconds; odd.pcap's next record is needed after the one at 3.
    EXPECT_EQ(result.standardError, "Reading stopped at a damaged record: the results cover frames 1 to 4\n");
    EXPECT_EQ(results.summaryValue("TotalVolumeInB"), "616");
    // The JSON summary says which capture was cut, and where the reading stopped.
    std::ifstream json(tool.path("out.Summary.json"));
    const std::string text{std::istreambuf_iterator<char>(json), {}};
    EXPECT_NE(text.find(R"("name": "odd.pcap",
      "linkTypes": [1],
      "frames": 2,
      "bytes": 308,
      "complete": false)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(R"("stoppedAfterFrame": 4,)"), std::string::npos) << text;
}

// A pcapng whose interfaces differ in link type and snap length (Ethernet, Linux cooked) is read whole, each
// frame lifted by its own interface's link type, and gives what its two halves give as two captures of
// different link types; a filter is compiled for each link type.
TEST_F(SeveralCapturesTest, InterfacesOfDifferentLinkTypesReadLikeTheirHalves) {
    synthesise("synthetic.pcap", 5);
    const CaptureRecords records(tool.path("synthetic.pcap"));
    const LinkType cooked{LinkFraming::kLinuxCooked, "Linux cooked"};
    PcapngImage image;
    image.interface().interface(std::nullopt, std::nullopt, LinkFraming::kLinuxCooked, 65535);
    TestCapture ethernetHalf(tool.path("ethernet.pcap"));
    TestCapture cookedHalf(tool.path("cooked.pcap"), LinkFraming::kLinuxCooked);
    std::uint32_t micros = 0;
    for (const CaptureRecords::Record& record : records.records()) {
        std::uint32_t wireLength = 0;
        std::memcpy(&wireLength, record.bytes.data() + 12, sizeof wireLength);
        std::vector<std::uint8_t> frame(record.bytes.begin() + 16, record.bytes.end());
        // Distinct times, so that the merge of the halves has one order only.
        ++micros;
        const bool onCooked = micros % 3 == 0;
        if (onCooked) {
            frame = LinkFraming::reframe(frame, cooked);
            wireLength += 2;
        }
        image.packet(std::uint64_t{kMarch2008} * 1'000'000 + micros, frame, wireLength, onCooked ? 1 : 0);
        (onCooked ? cookedHalf : ethernetHalf).addRecord({kMarch2008, micros}, frame, wireLength);
    }
    ethernetHalf.close();
    cookedHalf.close();
    writeFileBytes(tool.path("mixed.pcapng"), std::string(image.bytes().begin(), image.bytes().end()));

    ASSERT_EQ(tool.run({"-i", "synthetic.pcap", "-o", "original"}).exitStatus, 0);
    const ResultFiles original(tool.folder(), "original");
    ASSERT_NE(original.summaryValue("NumberTCPFlows"), "0");
    for (const std::vector<std::string>& filter : {std::vector<std::string>{}, {"-f", "tcp"}}) {
        std::vector<std::string> whole = {"-i", "mixed.pcapng", "-o", "whole", "-e", "--flow-table"};
        std::vector<std::string> halves = {"-i", "ethernet.pcap", "-i", "cooked.pcap",
                                           "-o", "halves",        "-e", "--flow-table"};
        whole.insert(whole.end(), filter.begin(), filter.end());
        halves.insert(halves.end(), filter.begin(), filter.end());
        const RunResult wholeRun = tool.run(whole);
        const RunResult halvesRun = tool.run(halves);
        expectSuccess(wholeRun);
        EXPECT_EQ(wholeRun.standardError, halvesRun.standardError);
        const ResultFiles wholeResults(tool.folder(), "whole");
        const ResultFiles halvesResults(tool.folder(), "halves");
        expectSameResults(halvesResults, wholeResults);
        EXPECT_EQ(wholeResults.detail("Flows"), halvesResults.detail("Flows"));
        // Each cooked frame was lifted as one: the flows are those of the capture before it was split.
        for (const char* figure : {"NumberTCPFlows", "NumberGapsInTCPFlows", "NumberOutOfOrderTCPPackets"}) {
            EXPECT_EQ(wholeResults.summaryValue(figure), original.summaryValue(figure)) << figure;
        }
    }
}

// A packet of an interface never described, and a block whose two length fields disagree, end the reading
// there.
TEST_F(SeveralCapturesTest, DamagedBlocksOfAPcapngEndTheReading) {
    const std::vector<std::uint8_t> frame = segment(1);
    const auto wire = static_cast<std::uint32_t>(frame.size());
    PcapngImage unknownInterface;
    unknownInterface.interface().packet(1, frame, wire).packet(2, frame, wire, 3);
    PcapngImage lyingLength;
    lyingLength.interface().packet(1, frame, wire).packet(2, frame, wire).packet(3, frame, wire);
    // The second packet block's trailing length: the block is 32 bytes of fields plus the frame.
    std::vector<std::uint8_t>& bytes = lyingLength.bytes();
    const std::size_t blockLength = 32 + (frame.size() + 3) / 4 * 4;
    bytes[bytes.size() - blockLength - 4] += 4;
    const std::pair<const PcapngImage*, const char*> cases[] = {
        {&unknownInterface,
         "a packet arrived on interface 3, but there's no Interface Description Block for that interface"},
        {&lyingLength, "block total length in header and trailer don't match"}};
    for (const auto& [image, reason] : cases) {
        SCOPED_TRACE(reason);
        writeFileBytes(tool.path("damaged.pcapng"),
                       std::string(image->bytes().begin(), image->bytes().end()));
        const RunResult result = tool.run({"-i", "damaged.pcapng", "-o", kPrefix});
        EXPECT_EQ(result.exitStatus, 254);
        EXPECT_EQ(result.standardOutput,
                  std::string("PacketLoader::openInputFile() Error reading packet: ") + reason + "\n");
        EXPECT_EQ(result.standardError,
                  "Reading stopped at a damaged record: the results cover frames 1 to 1\n");
        EXPECT_EQ(results.summaryValue("TotalVolumeInB"), std::to_string(wire));
    }
}

TEST_F(SeveralCapturesTest, StandardInputWithOtherCapturesIsACommandLineError) {
    TestCapture(tool.path("ethernet.pcap")).add({kMarch2008, 0}, segment(1)).close();

    const RunResult result = tool.run({"-i", "ethernet.pcap", "-i", "-", "-o", kPrefix});

    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.standardError, "--inputFile - (standard input) cannot be read with other captures.\n");
    EXPECT_TRUE(results.fileNames().empty());
}

}  // namespace
}  // namespace korvo::e2e
