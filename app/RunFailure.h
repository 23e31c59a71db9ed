#pragma once
// A failure between opening the capture and writing the last result file, carrying the text to report.
// Failures while the network is still being built are not wrapped and keep their own type.

#include <stdexcept>

namespace korvo::measurement {

class RunFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace korvo::measurement
