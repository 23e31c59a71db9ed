// SIGINT and SIGTERM at random moments of a run that replaces an earlier one: afterwards the prefix holds the
// earlier complete run, the new complete run, or no summary, and never a temporary file.

#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e/ToolTest.h"
#include "support/CaptureRecords.h"
#include "tools/synth/Synthesiser.h"

namespace korvo::e2e {
namespace {

namespace fs = std::filesystem;

class InterruptTest : public ToolTest {
protected:
    // The result files of `prefix` by name, without the prefix, with their contents.
    [[nodiscard]] std::map<std::string, std::string> filesOf(const std::string& prefix) const {
        std::map<std::string, std::string> files;
        for (const std::string& name : ResultFiles(tool.folder(), prefix).fileNames()) {
            files[name.substr(prefix.size())] = fileBytes(tool.path(name));
        }
        return files;
    }

    [[nodiscard]] std::vector<std::string> temporaryFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(tool.folder())) {
            if (entry.path().filename().string().find(".part-") != std::string::npos) {
                names.push_back(entry.path().filename().string());
            }
        }
        return names;
    }
};

TEST_F(InterruptTest, PrefixHoldsOneWholeRunOrNone) {
    tools::synth::SynthOptions options;
    options.output = tool.path(kCapture).string();
    options.seed = 3;
    options.shape = tools::synth::Shape::RandomScan;
    options.size = 30 * 1024 * 1024;
    tools::synth::synthesise(options);
    options.output = tool.path("small.pcap").string();
    options.shape = tools::synth::Shape::Realistic;
    options.size = 20 * 1024;
    tools::synth::synthesise(options);

    const std::vector<std::string> arguments = {"-i", kCapture, "-o", kPrefix, "-e", "--flow-table"};
    std::vector<std::string> reference = arguments;
    reference[3] = "new";
    ASSERT_EQ(tool.run(reference).exitStatus, 0);
    const std::map<std::string, std::string> newRun = filesOf("new");
    ASSERT_EQ(tool.run({"-i", "small.pcap", "-o", "earlier"}).exitStatus, 0);
    const std::map<std::string, std::string> earlierRun = filesOf("earlier");
    ASSERT_NE(earlierRun.at(".Summary.txt"), newRun.at(".Summary.txt")) << "the two runs must be told apart";

    // The shell starts a watcher in the background and becomes the tool; the watcher waits for the flow
    // table's temporary file, the first of the result files, then for the given time, and sends the signal.
    // The status is the tool's: 128 + the signal's number when the signal ended it.
    const std::string script =
        "(while ! ls | grep -q 'Flows[.]csv[.]part-' && kill -0 $$ 2>/dev/null; do :; done; "
        "sleep $DELAY; kill -s $SIGNAL $$ 2>/dev/null) & exec \"$0\" \"$@\"";
    int interrupted = 0;
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        for (const char* delay : {"0", "0.05", "0.1", "0.2", "0.3", "0.5"}) {
            SCOPED_TRACE(std::string(signalNumber == SIGINT ? "INT" : "TERM") + " after " + delay + " s");
            ASSERT_EQ(tool.run({"-i", "small.pcap", "-o", kPrefix}).exitStatus, 0);
            const std::map<std::string, std::string> before = filesOf(kPrefix);

            const RunResult result = tool.runWrapped(
                {"env", std::string("DELAY=") + delay,
                 std::string("SIGNAL=") + (signalNumber == SIGINT ? "INT" : "TERM"), "sh", "-c", script},
                arguments);

            EXPECT_TRUE(result.exitStatus == 0 || result.exitStatus == 128 + signalNumber)
                << result.exitStatus;
            interrupted += result.exitStatus == 128 + signalNumber ? 1 : 0;
            EXPECT_EQ(temporaryFiles(), std::vector<std::string>{});
            const std::map<std::string, std::string> after = filesOf(kPrefix);
            if (after.contains(".Summary.txt")) {
                EXPECT_TRUE(after == before || after == newRun) << "a mix of two runs";
            }
            EXPECT_TRUE(result.exitStatus != 0 || after == newRun);
        }
    }
    EXPECT_GT(interrupted, 0) << "no signal came before the end of the run";
}

}  // namespace
}  // namespace korvo::e2e
