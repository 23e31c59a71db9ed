#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/synth/SynthOptions.h"

namespace {

using korvo::tools::synth::parseByteSize;
using korvo::tools::synth::parseSynthOptions;
using korvo::tools::synth::Shape;
using korvo::tools::synth::SynthOptions;

std::optional<SynthOptions> parse(std::vector<const char*> arguments, std::ostream& help) {
    arguments.insert(arguments.begin(), "wiretally-synth");
    return parseSynthOptions(static_cast<int>(arguments.size()), arguments.data(), help);
}

std::string failureOf(std::vector<const char*> arguments) {
    std::ostringstream help;
    try {
        parse(std::move(arguments), help);
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return "no failure";
}

TEST(SynthOptionsTest, SizesTakeBinarySuffixes) {
    EXPECT_EQ(parseByteSize("1500"), 1500U);
    EXPECT_EQ(parseByteSize("64K"), 65536U);
    EXPECT_EQ(parseByteSize("200m"), 200U << 20);
    EXPECT_EQ(parseByteSize("4G"), 4ULL << 30);
    for (const char* bad : {"", "G", "1T", "1.5G", "-1", "12GB", "9999999999999"}) {
        EXPECT_THROW(parseByteSize(bad), std::invalid_argument) << bad;
    }
}

TEST(SynthOptionsTest, DefaultsAndGivenValuesAreTaken) {
    std::ostringstream help;
    const auto defaults = parse({"-o", "a.pcap"}, help);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->output, "a.pcap");
    EXPECT_EQ(defaults->size, 100U << 20);
    EXPECT_EQ(defaults->shape, Shape::Realistic);
    EXPECT_EQ(defaults->mix.concurrency, 64U);

    const auto given = parse({"--output", "b.pcap", "--size", "1G", "--shape", "scan", "--seed", "7",
                              "--loss", "0.25", "--snaplen", "96", "--max-transfer", "8K"},
                             help);
    ASSERT_TRUE(given);
    EXPECT_EQ(given->size, 1ULL << 30);
    EXPECT_EQ(given->shape, Shape::Scan);
    EXPECT_EQ(given->seed, 7U);
    EXPECT_DOUBLE_EQ(given->mix.anomalies.loss, 0.25);
    EXPECT_EQ(given->snapLength, 96U);
    EXPECT_EQ(given->mix.maxTransfer, 8192U);
    EXPECT_TRUE(help.str().empty());
}

TEST(SynthOptionsTest, HelpIsPrintedInsteadOfParsing) {
    std::ostringstream help;
    EXPECT_FALSE(parse({"--help"}, help));
    EXPECT_NE(help.str().find("--shape"), std::string::npos);
    EXPECT_NE(help.str().find("--snaplen"), std::string::npos);
}

TEST(SynthOptionsTest, BadOptionsAreNamedInTheFailure) {
    EXPECT_NE(failureOf({"--size", "1G"}).find("output"), std::string::npos);
    EXPECT_NE(failureOf({"-o", "a", "--shape", "burst"}).find("--shape"), std::string::npos);
    EXPECT_NE(failureOf({"-o", "a", "--vlan", "1.5"}).find("--vlan"), std::string::npos);
    EXPECT_NE(failureOf({"-o", "a", "--loss", "0.6", "--reorder", "0.6"}).find("--loss"), std::string::npos);
    EXPECT_NE(failureOf({"-o", "a", "--concurrency", "0"}).find("--concurrency"), std::string::npos);
    EXPECT_NE(failureOf({"-o", "a", "--frobnicate"}).find("frobnicate"), std::string::npos);
}

}  // namespace
