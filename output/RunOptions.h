#pragma once
// One run's configuration, as the command line gives it: what to read, what to analyse, what to write and
// with which resources. Built once and passed whole.

#include <string>
#include <vector>

#include "capture/Decoding.h"
#include "flow/SequenceEvaluatorMultimap.h"

namespace korvo::measurement {

// The files that describe the whole run besides the summary: PREFIX.Summary.json and PREFIX.Report.html.
struct RunOutputs {
    bool json = false;
    bool report = false;
};

struct RunOptions {
    // The captures, read as one; "-" is standard input.
    std::vector<std::string> inputs;
    // A BPF expression; empty keeps every frame.
    std::string filter;
    std::string prefix;
    // Write the detail file of every counting figure.
    bool extended = false;
    // Write PREFIX.Flows.csv.
    bool flowTable = false;
    // What is lifted beyond plain IPv4.
    Decoding decoding;
    // Find retransmissions and time handshakes.
    bool retransmissions = false;
    // Follow each flow's connection: its outcome, resets, zero windows, data and round trips.
    bool connections = false;
    RunOutputs outputs;
    // Threads and the memory the kept segments may take.
    FlowTableSettings resources;
};

}  // namespace korvo::measurement
