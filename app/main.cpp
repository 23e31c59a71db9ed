// The command-line front end: parses the options, answers help and version itself and hands the input files,
// the filter, the output prefix, the extended, flow table and retransmission flags, what to decode, the
// files that describe the run and the resource limits to a measurement run. A first word "map", "reduce" or
// "finish" runs one step of a run split over machines instead.

#include <algorithm>
#include <boost/program_options.hpp>
#include <exception>
#include <initializer_list>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ErrorText.h"
#include "app/FinishStep.h"
#include "app/MapStep.h"
#include "app/MeasurementRun.h"
#include "app/ReduceStep.h"
#include "app/ResourceOptions.h"
#include "app/RunFailure.h"
#include "app/Version.h"
#include "capture/FilterError.h"

namespace {

namespace po = boost::program_options;

constexpr int kUsageError = -1;
constexpr int kRunFailed = -2;

// The steps of a run split over machines, and what each is told on its command line.
enum class Step { kNone, kMap, kReduce, kFinish };

struct StepArguments {
    Step step = Step::kNone;
    std::string work;
    std::size_t group = 0;
    std::size_t shard = 0;
};

Step stepNamed(const std::string& word) {
    if (word == "map") {
        return Step::kMap;
    }
    if (word == "reduce") {
        return Step::kReduce;
    }
    return word == "finish" ? Step::kFinish : Step::kNone;
}

// A whole number for --group or --shard.
std::size_t indexOf(const std::string& option, const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        throw std::invalid_argument("--" + option + " must be a whole number, not \"" + text + "\"");
    }
    return std::stoul(text);
}
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

po::options_description describeOptions(Step step) {
    const char* usage =
        step == Step::kMap ? "Usage: Wiretally map --work DIR --group K -i CAPTURE [-i CAPTURE ...] [options]"
        : step == Step::kReduce
            ? "Usage: Wiretally reduce --work DIR --shard S [--threads N] [--max-memory SIZE]"
        : step == Step::kFinish
            ? "Usage: Wiretally finish --work DIR -o PREFIX [--json] [--report] [options]"
            : "Usage: Wiretally -i CAPTURE [-i CAPTURE ...] -o PREFIX [options]\n(-i and -o are required)";
    po::options_description options(usage, po::options_description::m_default_line_length);
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
        ("connections",
         "Also follow how each connection went: its state (S0, SF, REJ, RSTO, ...), resets, zero windows, "
         "data bytes and round-trip times; a fifth heading in the summary, and columns in the flow table")  //
        ("all", "Turn on --ipv6 --tunnels --retransmissions --connections --flow-table")                    //
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
    if (step != Step::kNone) {
        options.add_options()                                                                     //
            ("work", po::value<std::string>(), "Required. The work folder that the steps share")  //
            ("group", po::value<std::string>(),
             "Required by map. The number of this group of captures, from 0")  //
            ("shard", po::value<std::string>(), "Required by reduce. The flow shard to judge, 0 to 63");
    }
    return options;
}

// Reports a command-line error, such as a filter that cannot be compiled, and gives its exit status.
int commandLineError(const std::exception& error) {
    std::cerr << "Error parsing command line " << std::endl
              << "Use --help to print usage syntax " << std::endl
              << korvo::measurement::errorText(error) << std::endl;
    return kUsageError;
}

// Checks the options of a step, runs it and gives its exit status.
int runStep(StepArguments steps, const po::variables_map& arguments, korvo::measurement::RunOptions& run) {
    const auto refuse = [&arguments](std::initializer_list<const char*> names, const std::string& why) {
        for (const char* name : names) {
            if (arguments.count(name) != 0) {
                throw std::invalid_argument(std::string("--") + name + " " + why);
            }
        }
    };
    const auto require = [&arguments](const char* name) {
        if (arguments.count(name) == 0) {
            throw std::invalid_argument(std::string("--") + name + " required.");
        }
        return arguments[name].as<std::string>();
    };
    const std::initializer_list<const char*> analysis = {
        "extended", "flow-table", "ipv6", "tunnels", "all", "retransmissions", "connections", "filter"};
    const std::string readFromWork = "is given to map only: the later steps read it from the work folder";
    steps.work = require("work");
    switch (steps.step) {
        case Step::kMap:
            refuse({"outputPrefix", "json", "report"}, "is given to finish only");
            refuse({"shard"}, "is given to reduce only");
            steps.group = indexOf("group", require("group"));
            run.inputs = arguments["inputFile"].empty()
                             ? std::vector<std::string>()
                             : arguments["inputFile"].as<std::vector<std::string>>();
            if (run.inputs.empty()) {
                throw std::invalid_argument("--inputFile required.");
            }
            if (arguments.count("filter") != 0) {
                run.filter = arguments["filter"].as<std::string>();
            }
            break;
        case Step::kReduce:
            refuse(analysis, readFromWork);
            refuse({"inputFile", "group"}, "is given to map only");
            refuse({"outputPrefix", "json", "report"}, "is given to finish only");
            steps.shard = indexOf("shard", require("shard"));
            break;
        case Step::kFinish:
            refuse(analysis, readFromWork);
            refuse({"inputFile", "group"}, "is given to map only");
            refuse({"shard"}, "is given to reduce only");
            run.prefix = checkedPrefix(require("outputPrefix"));
            break;
        case Step::kNone:
            break;
    }
    try {
        switch (steps.step) {
            case Step::kMap:
                korvo::measurement::MapStep::run(run, steps.work, steps.group);
                break;
            case Step::kReduce:
                korvo::measurement::ReduceStep::run(steps.work, steps.shard, run.resources);
                break;
            default:
                korvo::measurement::FinishStep::run(run, steps.work);
                break;
        }
    } catch (const korvo::measurement::FilterError& error) {
        return commandLineError(error);
    } catch (const std::exception& error) {
        std::cerr << korvo::measurement::errorText(error) << std::endl;
        return kRunFailed;
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    StepArguments steps;
    if (argc > 1) {
        steps.step = stepNamed(argv[1]);
    }
    // A step's options follow its name, which the parser then takes for the program's.
    const int skipped = steps.step == Step::kNone ? 0 : 1;
    const po::options_description options = describeOptions(steps.step);
    korvo::measurement::RunOptions run;
    using korvo::measurement::ResourceOptions;
    try {
        po::variables_map arguments;
        // No positional argument is declared, so a stray word on the line is refused rather than ignored.
        const po::positional_options_description noPositionalArguments;
        po::store(po::command_line_parser(argc - skipped, argv + skipped)
                      .options(options)
                      .positional(noPositionalArguments)
                      .run(),
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
        run.connections = all || arguments.count("connections") != 0;
        run.outputs.json = arguments.count("json") != 0;
        run.outputs.report = arguments.count("report") != 0;
        run.resources.threads = arguments.count("threads") != 0
                                    ? ResourceOptions::parseThreads(arguments["threads"].as<std::string>())
                                    : ResourceOptions::usableProcessors();
        run.resources.memoryLimit =
            arguments.count("max-memory") != 0
                ? ResourceOptions::parseMemory(arguments["max-memory"].as<std::string>())
                : ResourceOptions::defaultMemoryLimit();
        if (steps.step != Step::kNone) {
            return runStep(steps, arguments, run);
        }
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
    } catch (const std::exception& error) {
        return commandLineError(error);
    }

    try {
        korvo::measurement::MeasurementRun().run(run);
    } catch (const korvo::measurement::FilterError& error) {
        return commandLineError(error);
    } catch (const std::exception& error) {
        std::cerr << "Error runing measurement software: " << std::endl
                  << korvo::measurement::errorText(error) << std::endl;
        return kUsageError;
    }
    return 0;
}
