#pragma once
// PREFIX.Report.html: one page that holds everything it shows (style, charts and the script that sorts its
// tables), so that it opens from a mail attachment on a machine without network. It shows what was read,
// every figure with its meaning, the load and the anomalies over time, the flows with the most data and
// with the most anomalies, and the handshake times. Nothing taken from a capture or a file name is written
// unescaped.

#include <string>
#include <string_view>

#include "output/ReportContent.h"

namespace korvo::measurement {

class HtmlReport {
public:
    // `content` must hold the load and the highlights.
    [[nodiscard]] static std::string page(const ReportContent& content, std::string_view version);

private:
    static void writeRead(std::string& out, const ReportContent& content);
    static void writeFigures(std::string& out, const ReportContent& content);
    static void writeOverTime(std::string& out, const ReportContent& content);
    static void writeFlows(std::string& out, const ReportContent& content);
    static void writeHandshakes(std::string& out, const ReportContent& content);
    static void writeConnections(std::string& out, const ReportContent& content);
    // The listed flows that carry a graph, each once, in the order the lists show them.
    static std::vector<const FlowLine*> graphedFlows(const ReportContent& content);
    static void writeGraphs(std::string& out, const ReportContent& content);
    static void writeExplanations(std::string& out, const ReportContent& content);
};

}  // namespace korvo::measurement
