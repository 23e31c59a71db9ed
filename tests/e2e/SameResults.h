#pragma once
// Two runs' result files compared byte for byte: the same files, with the same bytes.

#include <gtest/gtest.h>

#include <string>

#include "e2e/ToolTest.h"
#include "support/ResultFiles.h"

namespace korvo::e2e {

inline void expectSameResults(const ResultFiles& expected, const ResultFiles& actual) {
    ASSERT_TRUE(expected.summary().has_value());
    EXPECT_EQ(actual.fileNames().size(), expected.fileNames().size());
    EXPECT_EQ(actual.summary(), expected.summary());
    for (const std::string& figure : kDetailFigures) {
        EXPECT_EQ(actual.detail(figure), expected.detail(figure)) << figure;
    }
}

}  // namespace korvo::e2e
