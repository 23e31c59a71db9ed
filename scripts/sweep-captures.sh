#!/usr/bin/env bash
# Runs the sanitizer build of wiretally over every capture in a folder and its sub-folders, with and without
# -e, and reports per file the exit status of each run and any sanitizer or crash output. Only 0 and 254 (-2)
# are acceptable; a run still going after the time limit counts as a hang.
#
# Usage: scripts/sweep-captures.sh DIR [BINARY]
#   BINARY  the wiretally to run; by default the sanitizer build in build-sanitize, configured and built
#           here as scripts/test.sh does when it is missing.
# Environment: SWEEP_TIMEOUT seconds per run (default 60), SWEEP_JOBS builds with this many jobs (default 2),
# SWEEP_OPTIONS options added to every run (e.g. "--ipv6 --flow-table").
# Exit status: 0 when every run ended acceptably, 1 otherwise or when the folder holds no file, 2 on wrong
# usage.
set -uo pipefail

if [[ $# -lt 1 || $# -gt 2 || ! -d "$1" ]]; then
    echo "Usage: $0 DIR [BINARY]" >&2
    exit 2
fi
folder=$(cd "$1" && pwd)
repository=$(cd "$(dirname "$0")/.." && pwd)
limit=${SWEEP_TIMEOUT:-60}
read -r -a extraOptions <<<"${SWEEP_OPTIONS:-}"

if [[ $# -eq 2 ]]; then
    binary=$(realpath "$2")
else
    build="$repository/build-sanitize"
    binary="$build/app/wiretally"
    if [[ ! -x "$binary" ]]; then
        cmake -S "$repository" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DWIRETALLY_WERROR=ON \
            -DWIRETALLY_SANITIZE=address,undefined -DWIRETALLY_BENCHMARKS=OFF >/dev/null || exit 1
        cmake --build "$build" -j"${SWEEP_JOBS:-2}" --target wiretally >/dev/null || exit 1
    fi
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Runs one pass; prints "STATUS" or "STATUS!" when the run is unacceptable, and keeps its output in
# $scratch/last.{out,err}.
run_once() {
    local capture=$1
    shift
    rm -f "$scratch"/result.*
    timeout --kill-after=5 "$limit" "$binary" -i "$capture" -o "$scratch/result" "$@" "${extraOptions[@]}" \
        >"$scratch/last.out" 2>"$scratch/last.err" </dev/null
    local status=$?
    if [[ $status -eq 124 || $status -eq 137 ]]; then
        echo "hang!"
    elif [[ $status -ne 0 && $status -ne 254 ]] || grep -qE 'Sanitizer|runtime error:' "$scratch/last.err"; then
        echo "$status!"
    else
        echo "$status"
    fi
}

# The lines of a failed run's output worth reading: the sanitizer's verdict and the first frames, else the
# end of what it wrote on standard error.
excerpt() {
    local lines
    lines=$(grep -E 'ERROR|SUMMARY|runtime error:|#[0-9] |terminate|what\(\)|Unknown exception|Error ' \
        "$scratch/last.err" | head -n 12)
    [[ -n "$lines" ]] || lines=$(tail -n 5 "$scratch/last.err")
    [[ -n "$lines" ]] || lines="(nothing on standard error)"
    sed 's/^/      /' <<<"$lines"
}

total=0
bad=0
declare -A statusCount=()
while IFS= read -r -d '' capture; do
    total=$((total + 1))
    plain=$(run_once "$capture")
    plainExcerpt=$(excerpt)
    extended=$(run_once "$capture" -e)
    extendedExcerpt=$(excerpt)
    statusCount["$plain/$extended"]=$((${statusCount["$plain/$extended"]:-0} + 1))
    line=$(printf '%-60s plain %-5s extended %-5s' "${capture#"$folder"/}" "$plain" "$extended")
    if [[ "$plain" == *'!' || "$extended" == *'!' ]]; then
        bad=$((bad + 1))
        echo "$line  UNACCEPTABLE"
        [[ "$plain" == *'!' ]] && echo "    plain:" && echo "$plainExcerpt"
        [[ "$extended" == *'!' ]] && echo "    extended:" && echo "$extendedExcerpt"
    else
        echo "$line"
    fi
done < <(find "$folder" -type f -print0 | sort -z)

if [[ $total -eq 0 ]]; then
    echo "No capture found in $folder or below it." >&2
    exit 1
fi
echo
echo "Swept $total captures with $binary (limit ${limit}s per run)."
for key in "${!statusCount[@]}"; do
    echo "  plain/extended status $key: ${statusCount[$key]} files"
done | sort
echo "$bad captures ended unacceptably (a status other than 0 or 254, a hang, or sanitizer output)."
[[ $bad -eq 0 ]]
