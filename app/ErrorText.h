#pragma once
// The text shown for an error that ends a run: its own message, or "Unknown exception" for an error that
// carries none.

#include <exception>
#include <string>

namespace korvo::measurement {

std::string errorText(const std::exception& error);

}  // namespace korvo::measurement
