#pragma once
// A frame filter expression that the capture library cannot compile, with its reason. It is a fault of the
// command line, reported as such, although it is found only once the capture is open.

#include <stdexcept>

namespace korvo::measurement {

class FilterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace korvo::measurement
