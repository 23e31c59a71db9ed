// The man page against the tool it describes: the version on its title line, every figure of the summary,
// and the rows of every detail file, which must match the row forms the page documents. The figure table
// against the page and the JSON schema.

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/ConnectionStates.h"
#include "e2e/ToolTest.h"
#include "measurement/Figures.h"
#include "tools/synth/Synthesiser.h"

namespace korvo::e2e {
namespace {

std::vector<std::string> pageLines() {
    std::ifstream page(WIRETALLY_MAN_PAGE);
    EXPECT_TRUE(page.is_open()) << WIRETALLY_MAN_PAGE;
    std::vector<std::string> lines;
    for (std::string line; std::getline(page, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> rowsOf(const std::string& text) {
    std::vector<std::string> rows;
    std::istringstream in(text);
    for (std::string row; std::getline(in, row);) {
        rows.push_back(row);
    }
    return rows;
}

// A documented row form as a pattern: the roff escapes become the characters they print and every italic
// placeholder (\fIname\fP) stands for one field, which holds no comma.
std::regex rowPattern(const std::string& form) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    std::string pattern;
    std::size_t at = 0;
    while (at < form.size()) {
        if (form.compare(at, 3, "\\fI") == 0) {
            at = form.find("\\fP", at) + 3;
            pattern += "[^,]+";
        } else if (form.compare(at, 2, "\\-") == 0) {
            pattern += '-';
            at += 2;
        } else {
            pattern += std::regex_replace(std::string(1, form[at]), special, "\\$&");
            ++at;
        }
    }
    return std::regex(pattern);
}

// The row forms that the page's entry for `fileName` shows between .EX and .EE; a line indented by two
// blanks continues the row above it (a row too long for the page).
std::vector<std::string> documentedRowForms(const std::vector<std::string>& lines,
                                            const std::string& fileName) {
    std::vector<std::string> forms;
    auto line = lines.begin();
    while (line != lines.end() && (line->rfind(".SH RESULT FILES", 0) != 0)) {
        ++line;
    }
    while (line != lines.end() && line->find(fileName) == std::string::npos) {
        ++line;
    }
    bool inExample = false;
    for (++line; line != lines.end() && line->rfind(".TP", 0) != 0 && line->rfind(".SH", 0) != 0; ++line) {
        if (*line == ".EX" || *line == ".EE") {
            inExample = *line == ".EX";
        } else if (inExample && line->rfind("  ", 0) == 0 && !forms.empty()) {
            forms.back() += line->substr(2);
        } else if (inExample) {
            forms.push_back(*line);
        }
    }
    return forms;
}

// A row form of the page as the figure table writes it: "\fIn\fP" as "<n>", "\-" as "-".
std::string asTableRow(const std::string& form) {
    return std::regex_replace(std::regex_replace(form, std::regex(R"(\\fI([^\\]+)\\fP)"), "<$1>"),
                              std::regex(R"(\\-)"), "-");
}

// The names in the JSON array that follows `key` in `text`, from `from` on.
std::vector<std::string> namesAfter(const std::string& text, const std::string& key, std::size_t from = 0) {
    const std::size_t open = text.find('[', text.find(key, from));
    const std::string list = text.substr(open, text.find(']', open) - open);
    std::vector<std::string> names;
    const std::regex quoted("\"([A-Za-z]+)\"");
    for (auto match = std::sregex_iterator(list.begin(), list.end(), quoted); match != std::sregex_iterator();
         ++match) {
        names.push_back((*match)[1]);
    }
    return names;
}

TEST(FigureTable, MatchesTheManPageAndTheJsonSchema) {
    const std::vector<std::string> lines = pageLines();
    std::ifstream schemaFile(WIRETALLY_SCHEMA);
    const std::string schema((std::istreambuf_iterator<char>(schemaFile)), std::istreambuf_iterator<char>());
    const std::size_t figuresAt = schema.find("\"figures\": {\n      \"type\": \"object\"");
    ASSERT_NE(figuresAt, std::string::npos);
    const std::vector<std::string> required = namesAfter(schema, "\"required\"", figuresAt);
    const std::string properties =
        schema.substr(figuresAt, schema.find("\"dependentRequired\"", figuresAt) - figuresAt);

    std::vector<std::string> alwaysOn;
    for (const measurement::Figure& figure : measurement::Figures::all()) {
        const std::string name(figure.name);
        SCOPED_TRACE(name);
        EXPECT_NE(std::find(lines.begin(), lines.end(), ".B " + name), lines.end())
            << "no entry in the man page";
        EXPECT_NE(properties.find("\"" + name + "\": {"), std::string::npos) << "not in the schema's figures";
        if (figure.on == measurement::FigureSwitch::kAlways) {
            alwaysOn.push_back(name);
        }
        EXPECT_FALSE(figure.meaning.empty());
        EXPECT_FALSE(figure.explanation.empty());
        if (!figure.detailRow.empty()) {
            std::vector<std::string> forms = documentedRowForms(lines, name + ".csv");
            std::transform(forms.begin(), forms.end(), forms.begin(), asTableRow);
            EXPECT_NE(std::find(forms.begin(), forms.end(), figure.detailRow), forms.end())
                << "the page shows no row " << figure.detailRow;
        }
    }
    // The figures every run writes are those the schema requires, in the summary's order.
    EXPECT_EQ(required, alwaysOn);
}

class ManPageTest : public ToolTest {
protected:
    // Adds the rows of every detail file of an extended run on `options`' capture to `rowsByFigure`.
    void collectRows(tools::synth::SynthOptions options) {
        options.output = tool.path(kCapture).string();
        options.seed = 7;
        tools::synth::synthesise(options);
        collectRunRows();
    }

    // Adds the rows of a flow for every connection state.
    void collectConnectionRows() {
        TestCapture capture = newCapture();
        ConnectionStates(capture).writeAll();
        capture.close();
        collectRunRows();
    }

    void collectRunRows() {
        // The captures hold IPv6 frames, so the run may add the coverage note.
        const RunResult run =
            tool.run({"--retransmissions", "--connections", "-e", "-i", kCapture, "-o", kPrefix});
        ASSERT_EQ(run.exitStatus, 0) << run.standardError;
        for (const std::string& figure : detailFigures()) {
            for (std::string& row : rowsOf(results.detail(figure).value_or(""))) {
                rowsByFigure[figure].push_back(std::move(row));
            }
        }
    }

    // Every detail file, those of --retransmissions too.
    static std::vector<std::string> detailFigures() {
        std::vector<std::string> figures;
        for (const measurement::Figure& figure : measurement::Figures::all()) {
            if (!figure.detailRow.empty()) {
                figures.emplace_back(figure.name);
            }
        }
        return figures;
    }

    std::map<std::string, std::vector<std::string>> rowsByFigure;
};

TEST_F(ManPageTest, TitleLineCarriesTheVersionThatTheToolPrintsAndItsDate) {
    const RunResult version = tool.run({"-v"});
    ASSERT_EQ(version.standardOutput.rfind("Wiretally v", 0), 0U) << version.standardOutput;
    const std::string number = version.standardOutput.substr(11, version.standardOutput.size() - 12);

    const std::vector<std::string> lines = pageLines();
    ASSERT_FALSE(lines.empty());
    // The date is the version's release date, set beside the version.
    const std::regex title(R"(\.TH WIRETALLY 1 "20[0-9]{2}-[01][0-9]-[0-3][0-9]" "Wiretally )" +
                           std::regex_replace(number, std::regex(R"(\.)"), R"(\.)") + R"(" "User Commands")");
    EXPECT_TRUE(std::regex_match(lines.front(), title)) << lines.front();
}

TEST_F(ManPageTest, DescribesEveryFigureOfTheSummary) {
    newCapture().close();
    expectQuietSuccess(tool.run({"--retransmissions", "-i", kCapture, "-o", kPrefix}));
    const std::vector<std::string> lines = pageLines();

    std::vector<std::string> figures;
    for (const std::string& line : rowsOf(results.summary().value_or(""))) {
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            figures.push_back(line.substr(0, colon));
        }
    }
    ASSERT_EQ(figures.size(), 20U);
    for (const std::string& figure : figures) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), ".B " + figure), lines.end())
            << figure << " has no entry in the man page";
    }
}

TEST_F(ManPageTest, EveryDetailRowHasADocumentedForm) {
    tools::synth::SynthOptions connections;
    connections.size = 2 * 1024 * 1024;
    connections.truncateShare = 0.01;
    connections.mix.concurrency = 24;
    connections.mix.jumboShare = 0.05;
    connections.mix.otherShare = 0.05;
    connections.mix.maxTransfer = 64 * 1024;
    connections.mix.anomalies = {.loss = 0.02, .reorder = 0.02, .duplicate = 0.02, .retransmit = 0.02};
    collectRows(connections);
    tools::synth::SynthOptions scan;
    scan.shape = tools::synth::Shape::Scan;
    scan.size = 200 * 1024;
    collectRows(scan);
    collectConnectionRows();

    const std::vector<std::string> lines = pageLines();
    for (const std::string& figure : detailFigures()) {
        SCOPED_TRACE(figure);
        const std::vector<std::string> forms = documentedRowForms(lines, figure + ".csv");
        ASSERT_FALSE(forms.empty()) << "the man page shows no row of " << figure << ".csv";
        std::vector<std::regex> patterns;
        for (const std::string& form : forms) {
            patterns.push_back(rowPattern(form));
        }
        const std::vector<std::string>& rows = rowsByFigure[figure];
        ASSERT_FALSE(rows.empty()) << "the captures should give rows of every detail file";
        for (const std::string& row : rows) {
            EXPECT_TRUE(
                std::any_of(patterns.begin(), patterns.end(),
                            [&row](const std::regex& pattern) { return std::regex_match(row, pattern); }))
                << "undocumented row: " << row;
        }
    }
}

}  // namespace
}  // namespace korvo::e2e
