#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in a normal build with warnings as
# errors, and in a build with the address and undefined-behaviour sanitizers. Then runs the tests that start
# more than one thread in a build with the thread sanitizer. Also checks the formatting, and fuzzes the
# capture reader for half a minute so that the fuzz target keeps building and finding nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh --with-fuzzing
jobs=$(nproc)

scripts/check-format.sh
scripts/fuzz.sh 30

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWIRETALLY_WERROR=ON >/dev/null
cmake --build build-test -j"$jobs"
ctest --test-dir build-test -j"$jobs" --output-on-failure

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DWIRETALLY_WERROR=ON \
    -DWIRETALLY_SANITIZE=address,undefined -DWIRETALLY_BENCHMARKS=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-sanitize -j"$jobs" --output-on-failure

# The runs on several threads (read-ahead, parallel hand-out, temporary runs) under the thread sanitizer: a
# data race makes the tool exit with status 66, and the test fails.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWIRETALLY_WERROR=ON -DWIRETALLY_SANITIZE=thread \
    -DWIRETALLY_BENCHMARKS=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target wiretally wiretally_e2e_tests
TSAN_OPTIONS=halt_on_error=1:exitcode=66 ctest --test-dir build-tsan -j"$jobs" --output-on-failure --no-tests=error \
    -R 'ResourceLimitTest\.(Connections|Scans|FlowsSharing).*|FlowTableTest\.LongTablesAreTheSameOnOneThreadAndOnSeveral|(Ipv6|Tunnel|Retransmission|Report)Test\.ThreadsAndTemporaryFilesChangeNothing'
