// The run-merging sort must give exactly what an ordinary sort gives, whatever the runs in its input.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "flow/RunMergeSort.h"

namespace korvo::measurement {
namespace {

void expectSortedLikeStdSort(std::vector<std::uint64_t> keys) {
    std::vector<std::uint64_t> expected = keys;
    std::sort(expected.begin(), expected.end());
    std::vector<std::size_t> scratch;
    RunMergeSort::sort(keys, scratch);
    ASSERT_EQ(keys, expected);
}

TEST(RunMergeSort, TrivialInputs) {
    expectSortedLikeStdSort({});
    expectSortedLikeStdSort({7});
    expectSortedLikeStdSort({1, 2, 3});
    expectSortedLikeStdSort({3, 2, 1});
}

TEST(RunMergeSort, FewRunsOfEveryCountAndLength) {
    std::mt19937_64 random(11);
    for (std::size_t runs = 1; runs <= 9; ++runs) {
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<std::uint64_t> keys;
            for (std::size_t run = 0; run < runs; ++run) {
                std::vector<std::uint64_t> part(random() % 300);
                for (auto& key : part) {
                    key = random() % 1000;
                }
                std::sort(part.begin(), part.end());
                keys.insert(keys.end(), part.begin(), part.end());
            }
            expectSortedLikeStdSort(keys);
        }
    }
}

TEST(RunMergeSort, WrappedCounterAndScatteredLateKeys) {
    std::vector<std::uint64_t> wrapped;
    for (std::uint64_t index = 0; index < 100000; ++index) {
        wrapped.push_back((index + 40000) % 65536);
    }
    expectSortedLikeStdSort(wrapped);
    std::vector<std::uint64_t> late(5000);
    for (std::size_t index = 0; index < late.size(); ++index) {
        late[index] = index % 97 == 0 ? index / 2 : index;
    }
    expectSortedLikeStdSort(late);
}

TEST(RunMergeSort, RandomInput) {
    std::mt19937_64 random(3);
    std::vector<std::uint64_t> keys(10000);
    for (auto& key : keys) {
        key = random();
    }
    expectSortedLikeStdSort(keys);
}

}  // namespace
}  // namespace korvo::measurement
