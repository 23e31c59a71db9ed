#!/usr/bin/env bash
# Builds the capture fuzz target with clang, libFuzzer and the address and undefined-behaviour sanitizers,
# then fuzzes for the given number of seconds on one core, starting from the seed captures that the
# robustness tests build. Every finding (crash, sanitizer report, leak, hang, memory blow-up) is kept as an
# input file under BUILD/findings and copied to fuzz/findings/, and the run goes on; the corpus in
# BUILD/corpus grows from run to run.
#
# Usage: scripts/fuzz.sh SECONDS
# Environment: FUZZ_BUILD build folder (default build-fuzz), FUZZ_JOBS build jobs (default 2).
# Exit status: 0 when the run found nothing, 1 when it kept findings, 2 on wrong usage.
# A finding is replayed with: BUILD/fuzz/wiretally_capture_fuzzer BUILD/findings/FILE
set -euo pipefail

if [[ $# -ne 1 || ! "$1" =~ ^[0-9]+$ ]]; then
    echo "Usage: $0 SECONDS" >&2
    exit 2
fi
seconds=$1
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD:-build-fuzz}

scripts/install-dependencies.sh --with-fuzzing
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWIRETALLY_FUZZ=ON \
    -DWIRETALLY_SANITIZE=address,undefined -DWIRETALLY_WERROR=OFF -DBUILD_TESTING=OFF \
    -DWIRETALLY_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"${FUZZ_JOBS:-2}" --target wiretally_capture_fuzzer wiretally_fuzz_seeds

rm -rf "$build/seeds"
"$build/fuzz/wiretally_fuzz_seeds" "$build/seeds"
mkdir -p "$build/corpus" "$build/findings"

# One worker in fork mode: a finding is saved and fuzzing carries on until the time is up. The loader's
# messages on standard output are silenced; the sanitizers' reports on standard error are kept.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$build/fuzz/wiretally_capture_fuzzer" "$build/corpus" "$build/seeds" \
    -dict=fuzz/capture.dict -max_total_time="$seconds" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 \
    -ignore_ooms=1 -timeout=10 -rss_limit_mb=2048 -max_len=8192 -close_fd_mask=1 \
    -artifact_prefix="$build/findings/" 2>&1 | tee "$build/fuzz.log" | grep -E '^#|INFO: |==ERROR|SUMMARY|runtime error' || true

findings=$(find "$build/findings" -type f | sort)
echo "Corpus: $(find "$build/corpus" -type f | wc -l) inputs in $build/corpus"
if [[ -n "$findings" ]]; then
    # Kept in the repository, where the test FuzzFindings.Replay replays them on every run.
    cp $findings fuzz/findings/
    echo "Findings, copied to fuzz/findings/ (commit them with the mend):"
    echo "$findings"
    exit 1
fi
echo "No findings."
