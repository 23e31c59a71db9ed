#pragma once
// Sorts 64-bit keys, cheaply when they are nearly in order: the ascending runs already present are merged
// pairwise, so a flow whose segments arrived in order costs one pass and one with a few reordered segments a
// few more. Input with very many runs is handed to an ordinary sort.

#include <cstdint>
#include <vector>

namespace korvo::measurement {

class RunMergeSort {
public:
    // Sorts `keys` ascending. `runStarts` is scratch space kept by the caller to avoid allocating per call.
    static void sort(std::vector<std::uint64_t>& keys, std::vector<std::size_t>& runStarts);
};

}  // namespace korvo::measurement
