#pragma once
// Writes a block of values to a file as they lie in memory, for the parts a split run's steps hand on.

#include <cstdio>
#include <span>

namespace korvo::measurement {

// Whether all of `values` were written; an empty block writes nothing (fwrite may not be given its null
// data).
template <typename Value>
bool writeBlock(std::FILE* file, std::span<const Value> values) {
    return values.empty() || std::fwrite(values.data(), sizeof(Value), values.size(), file) == values.size();
}

}  // namespace korvo::measurement
