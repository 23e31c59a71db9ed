#pragma once
// Checks that a run ended in one of the three ways the tool documents: success, quiet, with a complete
// summary and its detail files; a capture that cannot be opened, with the loader's message on standard
// output, "Unknown exception" as the reported text and no result file at all; or a damaged record, with the
// loader's message, a complete summary and detail files of the frames before it, and the frames they cover as
// the reported text.

#include <gtest/gtest.h>

#include "robustness/InProcessRun.h"

namespace korvo::robustness {

class DocumentedEnd {
public:
    // Either documented end.
    [[nodiscard]] static ::testing::AssertionResult check(const RunOutcome& outcome,
                                                          const e2e::ResultFiles& results, bool extended);
    [[nodiscard]] static ::testing::AssertionResult success(const RunOutcome& outcome,
                                                            const e2e::ResultFiles& results, bool extended);
    // The loader could not open the capture ("Error opening filename ...").
    [[nodiscard]] static ::testing::AssertionResult openFailure(const RunOutcome& outcome,
                                                                const e2e::ResultFiles& results);
    // The loader could not read a record ("Error reading packet: ...") and reported what it read before.
    [[nodiscard]] static ::testing::AssertionResult readFailure(const RunOutcome& outcome,
                                                                const e2e::ResultFiles& results,
                                                                bool extended);
};

}  // namespace korvo::robustness
