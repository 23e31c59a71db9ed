// The command-line front end: parses the options, answers help and version itself and hands the input files,
// the filter, the output prefix, the extended, flow table and retransmission flags, what to decode, the
// files that describe the run and the resource limits to a measurement run.

#include <algorithm>
#include <boost/program_options.hpp>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ErrorText.h"
#include "app/MeasurementRun.h"
#include "app/ResourceOptions.h"
#include "app/Version.h"
#include "capture/FilterError.h"

namespace {

namespace po = boost::program_options;

constexpr int kUsageError = -1;
constexpr const char* kManualPointer =
    "See man wiretally for the figures, the result files and the exit status.";

// The prefix as given, when it can start the names of files; a prefix that names a folder would make hidden
// files such as results/.Summary.txt, so it is refused with what to write instead.
std::string checkedPrefix(const std::string& prefix) {
    if (prefix.empty()) {
        throw std::invalid_argument(
            "--outputPrefix is empty: write the start of the result files' names, e.g. "
            "-o results/run1");
    }
    const std::size_t slash = prefix.rfind('/');
    const std::string last = slash == std::string::npos ? prefix : prefix.substr(slash + 1);
    if (last.empty() || last == "." || last == "..") {
        const std::string folder = last.empty() ? prefix : prefix + "/";
        throw std::invalid_argument(
            "--outputPrefix \"" + prefix +
            "\" names a folder, not the start of the result files' names: write e.g. -o " + folder + "run1");
    }
    return prefix;
}

po::options_description describeOptions() {
    po::options_description options(
        "Usage: Wiretally -i CAPTURE [-i CAPTURE ...] -o PREFIX [options]\n(-i and -o are required)",
        po::options_description::m_default_line_length);
    options.add_options()                              //
        ("help,h", "Print help message")               //
        ("extended,e", "Extract extended statistics")  //
        ("flow-table",
         "Also write PREFIX.Flows.csv: one CSV row per TCP flow with its times, packets, bytes and "
         "anomalies")  //
        ("ipv6",
         "Also analyse TCP over IPv6; its flows follow the IPv4 flows, and its segments never count as "
         "duplicates")  //
        ("tunnels",
         "Also follow frames through stacked VLAN tags, MPLS, PPPoE, GRE/ERSPAN, IP in IP, VXLAN, Geneve and "
         "GTP-U to their innermost IP packet; a flow is its innermost addresses and ports")  //
        ("retransmissions",
         "Also count retransmissions by sequence range (and spurious ones) per flow, and time the "
         "handshakes: a fourth heading in the summary, and columns in the flow table")  //
        ("all", "Turn on --ipv6 --tunnels --retransmissions --flow-table")              //
        ("json",
         "Also write PREFIX.Summary.json: every figure as a JSON number, with what was read, the options and "
         "the coverage")  //
        ("report",
         "Also write PREFIX.Report.html: one self-contained page with the figures, charts of the load and of "
         "the TCP anomalies over time, and the flows with the most data and the most anomalies")  //
        ("inputFile,i", po::value<std::vector<std::string>>(),
         "Required. File to process; given more than once, the files are read as one capture, their frames "
         "merged in "
         "time order")                                                                                  //
        ("filter,f", po::value<std::string>(), "Count only the frames that match this BPF expression")  //
        ("outputPrefix,o", po::value<std::string>(), "Required. Prefix name for all results files")     //
        ("threads", po::value<std::string>(),
         "Threads to use, 1 to 1024 (default: the processors this process may use)")  //
        ("max-memory", po::value<std::string>(),
         "Memory the TCP segments may take before they move to temporary files in $TMPDIR (else /tmp); "
         "K, M, G suffixes, at most the physical memory (default: half of it)")  //
        ("version,v", "Print version");
    return options;
}

}  // namespace

int main(int argc, char* argv[]) {
    const po::options_description options = describeOptions();
    korvo::measurement::RunOptions run;
    using korvo::measurement::ResourceOptions;
    try {
        po::variables_map arguments;
        // No positional argument is declared, so a stray word on the line is refused rather than ignored.
        const po::positional_options_description noPositionalArguments;
        po::store(
            po::command_line_parser(argc, argv).options(options).positional(noPositionalArguments).run(),
            arguments);
        po::notify(arguments);
        if (arguments.count("help") != 0) {
            std::cout << options << "\n" << kManualPointer << "\n";
            return 0;
        }
        if (arguments.count("version") != 0) {
            std::cout << "Wiretally v" << korvo::measurement::kVersion << "\n";
            return 0;
        }
        const bool all = arguments.count("all") != 0;
        run.extended = arguments.count("extended") != 0;
        run.flowTable = all || arguments.count("flow-table") != 0;
        run.decoding.ipv6 = all || arguments.count("ipv6") != 0;
        run.decoding.tunnels = all || arguments.count("tunnels") != 0;
        run.retransmissions = all || arguments.count("retransmissions") != 0;
        run.outputs.json = arguments.count("json") != 0;
        run.outputs.report = arguments.count("report") != 0;
        if (arguments.count("inputFile") == 0) {
            std::cerr << "--inputFile required." << std::endl;
            return kUsageError;
        }
        run.inputs = arguments["inputFile"].as<std::vector<std::string>>();
        // Standard input can be read once only.
        if (run.inputs.size() > 1 && std::count(run.inputs.begin(), run.inputs.end(), "-") > 0) {
            std::cerr << "--inputFile - (standard input) cannot be read with other captures." << std::endl;
            return kUsageError;
        }
        if (arguments.count("filter") != 0) {
            run.filter = arguments["filter"].as<std::string>();
        }
        if (arguments.count("outputPrefix") == 0) {
            std::cerr << "--outputPrefix required." << std::endl;
            return kUsageError;
        }
        run.prefix = checkedPrefix(arguments["outputPrefix"].as<std::string>());
        run.resources.threads = arguments.count("threads") != 0
                                    ? ResourceOptions::parseThreads(arguments["threads"].as<std::string>())
                                    : ResourceOptions::usableProcessors();
        run.resources.memoryLimit =
            arguments.count("max-memory") != 0
                ? ResourceOptions::parseMemory(arguments["max-memory"].as<std::string>())
                : ResourceOptions::defaultMemoryLimit();
    } catch (const std::exception& error) {
        std::cerr << "Error parsing command line " << std::endl
                  << "Use --help to print usage syntax " << std::endl
                  << korvo::measurement::errorText(error) << std::endl;
        return kUsageError;
    }

    try {
        korvo::measurement::MeasurementRun().run(run);
    } catch (const korvo::measurement::FilterError& error) {
        std::cerr << "Error parsing command line " << std::endl
                  << "Use --help to print usage syntax " << std::endl
                  << error.what() << std::endl;
        return kUsageError;
    } catch (const std::exception& error) {
        std::cerr << "Error runing measurement software: " << std::endl
                  << korvo::measurement::errorText(error) << std::endl;
        return kUsageError;
    }
    return 0;
}
