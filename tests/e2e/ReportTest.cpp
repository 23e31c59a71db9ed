// --json and --report: the JSON summary of the mixed capture against a reviewed baseline; the page and the
// JSON the same on one thread and on several with temporary files; and both files removed by a later run
// that does not ask for them, which changes nothing else. What the page shows is checked in a browser
// (tests/browser).
//
// The baseline is tests/e2e/data/Report.json.baseline. After a reviewed change, rewrite it with
//   WIRETALLY_UPDATE_BASELINES=1 ctest --test-dir build -R ReportTest.JsonMatchesTheBaseline
// and check the difference with git diff before committing it.

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "e2e/Baseline.h"
#include "e2e/MixedCapture.h"
#include "e2e/ToolTest.h"
#include "tools/synth/Synthesiser.h"

namespace korvo::e2e {
namespace {

class ReportTest : public ToolTest {
protected:
    [[nodiscard]] std::string read(const std::string& name) const {
        std::ifstream file(tool.path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }
};

TEST_F(ReportTest, JsonMatchesTheBaseline) {
    MixedCapture::write(tool.path(kCapture));

    const RunResult result = tool.run({"--json", "--report", "--retransmissions", "--threads", "1",
                                       "--max-memory", "64M", "-i", kCapture, "-o", kPrefix});
    expectSuccess(result, MixedCapture::kCoverageNote);
    // The version changes with every release; the baseline names it by its place.
    std::string json = read("out.Summary.json");
    const std::string version = std::string("\"") + WIRETALLY_VERSION + "\"";
    json.replace(json.find(version), version.size(), "\"VERSION\"");
    expectMatchesBaseline(json, "Report.json.baseline");
}

TEST_F(ReportTest, ThreadsAndTemporaryFilesChangeNothing) {
    tools::synth::SynthOptions options;
    options.output = tool.path(kCapture).string();
    options.seed = 31;
    options.size = 1024 * 1024;
    options.mix.concurrency = 32;
    options.mix.ipv6Share = 0.25;
    options.mix.anomalies = {.loss = 0.02, .reorder = 0.02, .duplicate = 0.02, .retransmit = 0.05};
    tools::synth::synthesise(options);

    const std::vector<std::string> common = {"--all", "--report", "--json", "-i", kCapture};
    std::vector<std::string> one = common;
    one.insert(one.end(), {"--threads", "1", "-o", "one"});
    std::vector<std::string> several = common;
    several.insert(several.end(), {"--threads", "3", "--max-memory", "64K", "-o", "several"});
    ASSERT_EQ(tool.run(one).exitStatus, 0);
    ASSERT_EQ(tool.run(several).exitStatus, 0);
    const std::string page = read("one.Report.html");
    ASSERT_NE(page.find("id=\"top-anomalies\""), std::string::npos);
    EXPECT_EQ(page, read("several.Report.html"));
    // The JSON holds nothing of the machine's resources either.
    EXPECT_EQ(read("one.Summary.json"), read("several.Summary.json"));
}

TEST_F(ReportTest, ARunWithoutTheOptionsRemovesThemAndWritesWhatItWroteBefore) {
    MixedCapture::write(tool.path(kCapture));
    ASSERT_EQ(tool.run({"-e", "-i", kCapture, "-o", "plain"}).exitStatus, 0);
    ASSERT_EQ(tool.run({"-e", "--report", "--json", "-i", kCapture, "-o", kPrefix}).exitStatus, 0);
    const ResultFiles plain(tool.folder(), "plain");
    std::vector<std::string> expected = plain.fileNames();
    for (std::string& file : expected) {
        file.replace(0, 5, kPrefix);
    }
    expected.insert(expected.end(), {"out.Report.html", "out.Summary.json"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(results.fileNames(), expected);

    ASSERT_EQ(tool.run({"-e", "-i", kCapture, "-o", kPrefix}).exitStatus, 0);
    std::vector<std::string> names = results.fileNames();
    for (std::string& file : names) {
        file.replace(0, 3, "plain");
    }
    EXPECT_EQ(names, plain.fileNames());
    for (const std::string& figure : kDetailFigures) {
        EXPECT_EQ(results.detail(figure), plain.detail(figure)) << figure;
    }
    EXPECT_EQ(results.summary(), plain.summary());
}

}  // namespace
}  // namespace korvo::e2e
