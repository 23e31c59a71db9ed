// The command line: help, version, missing options and parse errors, and that none of them runs an analysis.

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "e2e/ToolTest.h"

namespace korvo::e2e {
namespace {

class CommandLineTest : public ToolTest {
protected:
    // A valid capture and prefix are at hand, so that a run that wrongly went ahead would leave files.
    void SetUp() override { newCapture().close(); }

    void expectNoResultFiles() const { EXPECT_TRUE(results.fileNames().empty()); }
};

// "-x" as a short option of its own: not the "-x" inside a long name like "--xyz".
bool listsShortOption(const std::string& text, char letter) {
    const std::string option = std::string("-") + letter;
    for (std::size_t at = text.find(option); at != std::string::npos; at = text.find(option, at + 1)) {
        const bool startsWord = at == 0 || text[at - 1] != '-';
        const bool endsWord =
            at + 2 == text.size() || std::isalpha(static_cast<unsigned char>(text[at + 2])) == 0;
        if (startsWord && endsWord) {
            return true;
        }
    }
    return false;
}

TEST_F(CommandLineTest, HelpShowsTheCaptionAndTheFiveOptionsInOrder) {
    const RunResult result = tool.run({"-h"});

    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardError, "");
    const std::string& usage = result.standardOutput;
    EXPECT_TRUE(usage.starts_with(
        "Usage: Wiretally -i CAPTURE [-i CAPTURE ...] -o PREFIX [options]\n(-i and -o are required):\n"))
        << usage;
    EXPECT_TRUE(
        usage.ends_with("\n\nSee man wiretally for the figures, the result files and the exit status.\n"))
        << usage;
    const std::vector<std::pair<std::string, std::string>> options = {
        {"--help", "Print help message"},
        {"--extended", "Extract extended statistics"},
        {"--inputFile", "Required. File to process"},
        {"--outputPrefix", "Required. Prefix name for all results files"},
        {"--version", "Print version"}};
    std::size_t at = 0;
    for (const auto& [longName, description] : options) {
        at = usage.find(longName, at);
        ASSERT_NE(at, std::string::npos) << longName << " missing or out of order in:\n" << usage;
        at = usage.find(description, at);
        ASSERT_NE(at, std::string::npos) << description << " missing or out of order in:\n" << usage;
    }
    for (const char letter : {'h', 'e', 'i', 'o', 'v'}) {
        EXPECT_TRUE(listsShortOption(usage, letter)) << "-" << letter << " missing in:\n" << usage;
    }
    expectNoResultFiles();
}

TEST_F(CommandLineTest, HelpWinsOverEveryOtherDeclaredOption) {
    const RunResult alone = tool.run({"-h"});
    const RunResult withOthers = tool.run({"-v", "-i", kCapture, "-o", kPrefix, "-e", "--help"});

    EXPECT_EQ(withOthers.exitStatus, 0);
    EXPECT_EQ(withOthers.standardError, "");
    EXPECT_EQ(withOthers.standardOutput, alone.standardOutput);
    expectNoResultFiles();
}

TEST_F(CommandLineTest, VersionPrintsOneLine) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"-v"}, {"--version"}, {"-v", "-i", kCapture, "-o", kPrefix}}) {
        SCOPED_TRACE(arguments.front());
        const RunResult result = tool.run(arguments);

        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.standardOutput, "Wiretally v9.0.16.1\n");
        EXPECT_EQ(result.standardError, "");
    }
    expectNoResultFiles();
}

TEST_F(CommandLineTest, MissingInputFileIsReportedFirst) {
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{}, {"-o", kPrefix}, {"-e"}}) {
        SCOPED_TRACE(arguments.size());
        const RunResult result = tool.run(arguments);

        EXPECT_EQ(result.exitStatus, 255);
        EXPECT_EQ(result.standardOutput, "");
        EXPECT_EQ(result.standardError, "--inputFile required.\n");
    }
    expectNoResultFiles();
}

TEST_F(CommandLineTest, MissingOutputPrefixIsReported) {
    const RunResult result = tool.run({"-i", kCapture, "-e"});

    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError, "--outputPrefix required.\n");
    expectNoResultFiles();
}

class ParseErrorTest : public CommandLineTest,
                       public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(ParseErrorTest, EndsWithTheThreeLineMessage) {
    const RunResult result = tool.run(GetParam());

    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.standardOutput, "");
    const std::string head = "Error parsing command line \nUse --help to print usage syntax \n";
    const std::string& message = result.standardError;
    ASSERT_TRUE(message.starts_with(head)) << message;
    // The third line is the option library's own text: present, one line, not fixed here.
    const std::string libraryText = message.substr(head.size());
    EXPECT_GT(libraryText.size(), 1U) << message;
    EXPECT_TRUE(libraryText.ends_with("\n")) << message;
    EXPECT_EQ(libraryText.find('\n'), libraryText.size() - 1) << message;
    expectNoResultFiles();
}

INSTANTIATE_TEST_SUITE_P(
    BadCommandLines, ParseErrorTest,
    ::testing::Values(std::vector<std::string>{"-i"},                                     // no value after -i
                      std::vector<std::string>{"-o", "out", "-i"},                        // ... at the end
                      std::vector<std::string>{"-i", "in.pcap", "-o"},                    // no value after -o
                      std::vector<std::string>{"-i", "in.pcap", "-o", "out", "--bogus"},  // undeclared long
                      std::vector<std::string>{"-i", "in.pcap", "-o", "out", "-x"},       // undeclared short
                      std::vector<std::string>{"-h", "--bogus"},                          // help loses
                      std::vector<std::string>{"--bogus", "-h"},
                      std::vector<std::string>{"-i", "in.pcap", "-o", "out", "--extended=yes"},  // flag value
                      // A stray word, such as a second capture name, would otherwise be ignored silently.
                      std::vector<std::string>{"-i", "in.pcap", "-o", "out", "other.pcap"}));

}  // namespace
}  // namespace korvo::e2e
