#!/usr/bin/env bash
# Builds a release wiretally, makes the benchmark captures once, and times wiretally against the bare libpcap
# read loop (and against capinfos, tcptrace and tshark where they are installed). Run with --help.
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SIZE=${WIRETALLY_BENCH_SIZE:-1G}
SCAN_SIZE=${WIRETALLY_BENCH_SCAN_SIZE:-1G}
RANDOM_SCAN_SIZE=${WIRETALLY_BENCH_RANDOM_SCAN_SIZE:-1G}
IPV6_SIZE=${WIRETALLY_BENCH_IPV6_SIZE:-1G}
TUNNEL_SIZE=${WIRETALLY_BENCH_TUNNEL_SIZE:-1G}
ELEPHANT_SIZE=${WIRETALLY_BENCH_ELEPHANT_SIZE:-2G}
LONG_FLOW_SIZE=${WIRETALLY_BENCH_LONG_FLOW_SIZE:-1600M}
GROWTH=${WIRETALLY_BENCH_GROWTH:-4}
RUNS=${WIRETALLY_BENCH_RUNS:-5}
CACHE=${WIRETALLY_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/wiretally-bench}
BUILD=${WIRETALLY_BENCH_BUILD:-$REPO/build-release}
OTHERS=${WIRETALLY_BENCH_OTHERS:-yes}
CSV=${WIRETALLY_BENCH_CSV:-$REPO/bench-results/results-$(date +%Y%m%d-%H%M%S).csv}

usage() {
    cat <<EOF
Usage: bench/run-benchmarks.sh [options]

Builds wiretally in release mode, makes the captures (once; they are kept in the cache folder), then runs
every tool on every capture, alternating between the tools, several times each, with the page cache warm.
Reports per capture and tool: median wall time, throughput, time relative to the bare libpcap read loop of
the same round, peak resident memory and that memory per TCP segment of the capture; and the growth ratio
(median time on the large capture / median time on the base capture). The table goes to the terminal, the
same figures to a CSV file whose path is printed.

Tools: pcap-read-loop (the floor), wiretally (default threads), wiretally -e, wiretally-flows (--flow-table,
for its cost over wiretally), wiretally-t1 (--threads 1, for the speed-up of the default over one thread), on
the random scan also wiretally-256M (--max-memory 256M, the
run with temporary files), on the realistic capture and the scan also wiretally-ipv6 (--ipv6, for its cost
where there is no IPv6), wiretally-tunnels (--tunnels, for its cost where there is no tunnel) and
wiretally-retransmissions (--retransmissions), wiretally-connections (--connections), wiretally-report (--report --json),
wiretally-all (--all), wiretally-everything (--all -e --json --report) and wiretally-dask (the
run split over a local Dask cluster, the capture cut into 8 files of consecutive frames, where Debian's
python3-distributed is installed), on the IPv6
captures read-loop, wiretally and wiretally-ipv6 only, on the tunnelled captures (the realistic mix inside
VXLAN, and inside every kind of encapsulation by turn) read-loop, wiretally and wiretally-tunnels only, on
the realistic capture rewritten as pcapng (where editcap is installed) read-loop and wiretally only, and,
where installed, capinfos, tcptrace -n and
tshark -q -z conv,tcp -o tcp.analyze_sequence_numbers:TRUE. wiretally is skipped with a notice if it cannot be
built. The large capture is run with the read loop and wiretally only.

Options (environment variable in brackets):
  --size SIZE        realistic base capture, e.g. 200M, 1G [WIRETALLY_BENCH_SIZE, default 1G]
  --scan-size SIZE   connection-scan capture, 0 to leave out [WIRETALLY_BENCH_SCAN_SIZE, default 1G]
  --random-scan-size SIZE
                     scan of random destinations (54-byte SYN probes, half answered), 0 to leave out
                     [WIRETALLY_BENCH_RANDOM_SCAN_SIZE, default 1G]
  --ipv6-size SIZE   the realistic mix over IPv6 (ipv6) and half over IPv6 (dual), 0 to leave out
                     [WIRETALLY_BENCH_IPV6_SIZE, default 1G]
  --tunnel-size SIZE the realistic mix inside VXLAN (vxlan) and inside every encapsulation by turn (tmix), 0
                     to leave out [WIRETALLY_BENCH_TUNNEL_SIZE, default 1G]
  --elephant-size SIZE
                     one TCP flow (the server sending until the capture is full), run also under
                     --max-memory 64M (wiretally-64M) for its peak memory against the limit, 0 to leave
                     out [WIRETALLY_BENCH_ELEPHANT_SIZE, default 2G]
  --long-flow-size SIZE
                     one TCP flow of frames cut to 64 bytes (about 20 M segments in 1600M), run also under
                     --max-memory 64M and with --all -e --json --report under it (wiretally-everything-64M),
                     0 to leave out [WIRETALLY_BENCH_LONG_FLOW_SIZE, default 1600M]
  --growth N         the large capture is N times the base size, 0 to leave out [WIRETALLY_BENCH_GROWTH, default 4]
  --runs N           timed runs of each tool on each capture [WIRETALLY_BENCH_RUNS, default 5]
  --cache DIR        where the captures are kept [WIRETALLY_BENCH_CACHE, default ~/.cache/wiretally-bench];
                     delete it to make new captures after the synthesiser has changed
  --build DIR        release build folder [WIRETALLY_BENCH_BUILD, default <repository>/build-release]
  --no-others        leave out capinfos, tcptrace and tshark even where installed [WIRETALLY_BENCH_OTHERS=no]
  --csv FILE         results file [WIRETALLY_BENCH_CSV, default <repository>/bench-results/results-<time>.csv]
  -h, --help         print this help
Sizes take a K, M or G suffix (binary multiples).
EOF
}

fail() {
    echo "run-benchmarks: $*" >&2
    exit 1
}

while [ $# -gt 0 ]; do
    case "$1" in
    --size) SIZE=${2:?--size needs a value}; shift 2 ;;
    --scan-size) SCAN_SIZE=${2:?--scan-size needs a value}; shift 2 ;;
    --random-scan-size) RANDOM_SCAN_SIZE=${2:?--random-scan-size needs a value}; shift 2 ;;
    --ipv6-size) IPV6_SIZE=${2:?--ipv6-size needs a value}; shift 2 ;;
    --tunnel-size) TUNNEL_SIZE=${2:?--tunnel-size needs a value}; shift 2 ;;
    --elephant-size) ELEPHANT_SIZE=${2:?--elephant-size needs a value}; shift 2 ;;
    --long-flow-size) LONG_FLOW_SIZE=${2:?--long-flow-size needs a value}; shift 2 ;;
    --growth) GROWTH=${2:?--growth needs a value}; shift 2 ;;
    --runs) RUNS=${2:?--runs needs a value}; shift 2 ;;
    --cache) CACHE=${2:?--cache needs a value}; shift 2 ;;
    --build) BUILD=${2:?--build needs a value}; shift 2 ;;
    --csv) CSV=${2:?--csv needs a value}; shift 2 ;;
    --no-others) OTHERS=no; shift ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; fail "unknown option '$1'" ;;
    esac
done

# "200M" -> 209715200
bytes_of() {
    local text=$1 number unit
    [[ $text =~ ^([0-9]+)([KkMmGg]?)$ ]] || fail "not a size: '$text' (expected e.g. 200M or 1G)"
    number=${BASH_REMATCH[1]}
    unit=${BASH_REMATCH[2]^^}
    case "$unit" in
    K) echo $((number << 10)) ;;
    M) echo $((number << 20)) ;;
    G) echo $((number << 30)) ;;
    *) echo "$number" ;;
    esac
}

[[ $GROWTH =~ ^[0-9]+$ ]] || fail "--growth must be a whole number, not '$GROWTH'"
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || fail "--runs must be at least 1, not '$RUNS'"
BASE_BYTES=$(bytes_of "$SIZE")
SCAN_BYTES=$(bytes_of "$SCAN_SIZE")
RANDOM_SCAN_BYTES=$(bytes_of "$RANDOM_SCAN_SIZE")
IPV6_BYTES=$(bytes_of "$IPV6_SIZE")
TUNNEL_BYTES=$(bytes_of "$TUNNEL_SIZE")
ELEPHANT_BYTES=$(bytes_of "$ELEPHANT_SIZE")
LONG_FLOW_BYTES=$(bytes_of "$LONG_FLOW_SIZE")
LARGE_BYTES=$((BASE_BYTES * GROWTH))

build() {
    local log=$BUILD/bench-build.log generator=()
    mkdir -p "$BUILD"
    if [ ! -f "$BUILD/CMakeCache.txt" ] && command -v ninja >/dev/null; then
        generator=(-G Ninja)
    fi
    echo "Building release binaries in $BUILD (log: $log)"
    cmake -S "$REPO" -B "$BUILD" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release >"$log" 2>&1 ||
        fail "configuring failed, see $log"
    cmake --build "$BUILD" -j2 --target wiretally-synth pcap-read-loop peak-rss >>"$log" 2>&1 ||
        fail "building the benchmark programs failed, see $log"
    WIRETALLY=$BUILD/app/wiretally
    if ! cmake --build "$BUILD" -j2 --target wiretally >>"$log" 2>&1; then
        echo "NOTICE: wiretally could not be built (see $log); it is left out of this benchmark."
        WIRETALLY=""
    fi
}

# make_capture NAME SHAPE BYTES [OPTION...]: prints the capture's path, making it first (with the further
# synthesiser options) unless the cache has it.
make_capture() {
    local path=$CACHE/$1-$3.pcap
    if [ ! -s "$path" ] || [ ! -s "$path.counts" ]; then
        echo "Making $path" >&2
        "$BUILD/tools/wiretally-synth" --shape "$2" --size "$3" --seed 1 --output "$path" "${@:4}" >&2 ||
            fail "the synthesiser failed on $path"
    fi
    echo "$path"
}

count_of() { sed -n "s/^$2=//p" "$1.counts"; }

# run_timed COMMAND...: runs it with standard output discarded; sets WALL (seconds) and RSS_KIB. Returns the
# command's exit status. Its standard error is kept in $ERRORS.
run_timed() {
    local start end status=0
    if [ -x /usr/bin/time ]; then
        start=$(date +%s%N)
        /usr/bin/time -f '%M' -o "$SCRATCH/rss" "$@" >/dev/null 2>"$ERRORS" || status=$?
        end=$(date +%s%N)
        WALL=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.6f", ns / 1e9 }')
        RSS_KIB=$(tail -n 1 "$SCRATCH/rss")
    else
        "$BUILD/bench/peak-rss" "$@" >/dev/null 2>"$ERRORS" || status=$?
        read -r WALL RSS_KIB < <(tail -n 1 "$ERRORS")
    fi
    return $status
}

# pieces_of CAPTURE: "-i PIECE" for each of the 8 files of consecutive frames the capture is cut into, cut
# once beside it in the cache.
pieces_of() {
    local folder=$1.pieces piece
    if [ ! -s "$folder/piece-7.pcap" ]; then
        /usr/bin/python3 "$REPO/bench/cut-capture.py" "$1" 8 "$folder" || fail "cannot cut $1 into pieces"
    fi
    for piece in 0 1 2 3 4 5 6 7; do
        printf -- '-i %s ' "$folder/piece-$piece.pcap"
    done
}

# tool_command TOOL CAPTURE: the command line of one tool on one capture.
tool_command() {
    case "$1" in
    read-loop) echo "$BUILD/bench/pcap-read-loop $2" ;;
    wiretally) echo "$WIRETALLY -i $2 -o $SCRATCH/out/result" ;;
    wiretally-e) echo "$WIRETALLY -e -i $2 -o $SCRATCH/out/result" ;;
    wiretally-flows) echo "$WIRETALLY --flow-table -i $2 -o $SCRATCH/out/result" ;;
    wiretally-t1) echo "$WIRETALLY --threads 1 -i $2 -o $SCRATCH/out/result" ;;
    wiretally-256M) echo "$WIRETALLY --max-memory 256M -i $2 -o $SCRATCH/out/result" ;;
    wiretally-64M) echo "$WIRETALLY --max-memory 64M -i $2 -o $SCRATCH/out/result" ;;
    wiretally-everything-64M) echo "$WIRETALLY --all -e --json --report --max-memory 64M -i $2 -o $SCRATCH/out/result" ;;
    wiretally-ipv6) echo "$WIRETALLY --ipv6 -i $2 -o $SCRATCH/out/result" ;;
    wiretally-tunnels) echo "$WIRETALLY --tunnels -i $2 -o $SCRATCH/out/result" ;;
    wiretally-retransmissions) echo "$WIRETALLY --retransmissions -i $2 -o $SCRATCH/out/result" ;;
    wiretally-connections) echo "$WIRETALLY --connections -i $2 -o $SCRATCH/out/result" ;;
    wiretally-report) echo "$WIRETALLY --report --json -i $2 -o $SCRATCH/out/result" ;;
    wiretally-all) echo "$WIRETALLY --all -i $2 -o $SCRATCH/out/result" ;;
    wiretally-everything) echo "$WIRETALLY --all -e --json --report -i $2 -o $SCRATCH/out/result" ;;
    wiretally-dask) echo "$REPO/tools/distributed/wiretally-dask --binary $WIRETALLY -o $SCRATCH/out/result" \
        "$(pieces_of "$2")" ;;
    capinfos) echo "capinfos $2" ;;
    tcptrace) echo "tcptrace -n $2" ;;
    tshark) echo "tshark -q -z conv,tcp -o tcp.analyze_sequence_numbers:TRUE -r $2" ;;
    esac
}

# bench_capture LABEL CAPTURE TOOL...: warms the page cache, then runs the tools in turn, RUNS rounds.
bench_capture() {
    local label=$1 capture=$2 round tool
    shift 2
    cat "$capture" >/dev/null
    for round in $(seq 1 "$RUNS"); do
        for tool in "$@"; do
            rm -rf "$SCRATCH/out" && mkdir -p "$SCRATCH/out"
            # shellcheck disable=SC2046 # the command line is split on purpose; paths hold no spaces
            if run_timed $(tool_command "$tool" "$capture"); then
                echo "$label $tool $round $WALL $RSS_KIB ok" >>"$RAW"
            else
                echo "$label $tool $round $WALL $RSS_KIB failed" >>"$RAW"
                echo "NOTICE: $tool failed on $capture (round $round): $(tail -n 3 "$ERRORS" | tr '\n' ' ')" >&2
            fi
            printf '  %-12s %-15s round %s: %8.3f s, %8s KiB\n' "$label" "$tool" "$round" "$WALL" "$RSS_KIB"
        done
    done
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print ""; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Figures of one capture and tool from the raw runs: "median_s ratio peak_kib failures".
figures() {
    local label=$1 tool=$2 wall ratio peak failures
    wall=$(awk -v c="$label" -v t="$tool" '$1 == c && $2 == t && $6 == "ok" { print $4 }' "$RAW" | median)
    ratio=$(awk -v c="$label" -v t="$tool" '$1 == c && $2 == "read-loop" { base[$3] = $4 }
        $1 == c && $2 == t && $6 == "ok" && base[$3] > 0 { print $4 / base[$3] }' "$RAW" | median)
    peak=$(awk -v c="$label" -v t="$tool" '$1 == c && $2 == t && $5 > p { p = $5 } END { print p + 0 }' "$RAW")
    failures=$(awk -v c="$label" -v t="$tool" '$1 == c && $2 == t && $6 != "ok"' "$RAW" | wc -l)
    echo "${wall:-NA} ${ratio:-NA} $peak $failures"
}

build
mkdir -p "$CACHE" "$(dirname "$CSV")"
SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
ERRORS=$SCRATCH/errors
RAW=$SCRATCH/raw

TOOLS=(read-loop)
[ -n "$WIRETALLY" ] && TOOLS+=(wiretally wiretally-e wiretally-flows wiretally-t1)
for external in capinfos tcptrace tshark; do
    if [ "$OTHERS" = no ]; then
        break
    elif command -v "$external" >/dev/null; then
        TOOLS+=("$external")
    else
        echo "NOTICE: $external is not installed; it is left out."
    fi
done
GROWTH_TOOLS=(read-loop)
[ -n "$WIRETALLY" ] && GROWTH_TOOLS+=(wiretally wiretally-e)

DASK=""
if /usr/bin/python3 -c "import distributed" 2>/dev/null; then
    DASK=yes
else
    echo "NOTICE: Debian's python3-distributed is not installed; wiretally-dask is left out."
fi

declare -A CAPTURE_OF
LABELS=(base)
CAPTURE_OF[base]=$(make_capture realistic realistic "$BASE_BYTES")
if [ "$SCAN_BYTES" -gt 0 ]; then
    LABELS+=(scan)
    CAPTURE_OF[scan]=$(make_capture scan scan "$SCAN_BYTES")
fi
if [ "$RANDOM_SCAN_BYTES" -gt 0 ]; then
    LABELS+=(rscan)
    CAPTURE_OF[rscan]=$(make_capture random-scan random-scan "$RANDOM_SCAN_BYTES")
fi
if [ "$IPV6_BYTES" -gt 0 ]; then
    LABELS+=(ipv6 dual)
    CAPTURE_OF[ipv6]=$(make_capture realistic-ipv6 realistic "$IPV6_BYTES" --ipv6 1)
    CAPTURE_OF[dual]=$(make_capture realistic-dual realistic "$IPV6_BYTES" --ipv6 0.5)
fi
if [ "$TUNNEL_BYTES" -gt 0 ]; then
    LABELS+=(vxlan tmix)
    CAPTURE_OF[vxlan]=$(make_capture realistic-vxlan realistic "$TUNNEL_BYTES" --tunnel vxlan)
    CAPTURE_OF[tmix]=$(make_capture realistic-tunnels realistic "$TUNNEL_BYTES" --tunnel mix)
fi
if [ "$ELEPHANT_BYTES" -gt 0 ]; then
    LABELS+=(elephant)
    CAPTURE_OF[elephant]=$(make_capture elephant elephant "$ELEPHANT_BYTES")
fi
if [ "$LONG_FLOW_BYTES" -gt 0 ]; then
    LABELS+=(longflow)
    CAPTURE_OF[longflow]=$(make_capture elephant-snap64 elephant "$LONG_FLOW_BYTES" --snaplen 64)
fi
if command -v editcap >/dev/null; then
    LABELS+=(pcapng)
    CAPTURE_OF[pcapng]=${CAPTURE_OF[base]%.pcap}.pcapng
    if [ ! -s "${CAPTURE_OF[pcapng]}" ]; then
        echo "Making ${CAPTURE_OF[pcapng]}" >&2
        editcap -F pcapng "${CAPTURE_OF[base]}" "${CAPTURE_OF[pcapng]}" || fail "editcap failed"
    fi
    cp "${CAPTURE_OF[base]}.counts" "${CAPTURE_OF[pcapng]}.counts"
fi
if [ "$GROWTH" -gt 0 ]; then
    LABELS+=(large)
    CAPTURE_OF[large]=$(make_capture realistic realistic "$LARGE_BYTES")
fi

# Freshly written captures are still being flushed to disk; that must not run during the timings.
sync
for label in "${LABELS[@]}"; do
    echo "Timing on the $label capture ${CAPTURE_OF[$label]}"
    if [ "$label" = large ]; then
        bench_capture "$label" "${CAPTURE_OF[$label]}" "${GROWTH_TOOLS[@]}"
    elif [ "$label" = ipv6 ] || [ "$label" = dual ]; then
        bench_capture "$label" "${CAPTURE_OF[$label]}" "${GROWTH_TOOLS[@]:0:2}" ${WIRETALLY:+wiretally-ipv6}
    elif [ "$label" = vxlan ] || [ "$label" = tmix ]; then
        bench_capture "$label" "${CAPTURE_OF[$label]}" "${GROWTH_TOOLS[@]:0:2}" ${WIRETALLY:+wiretally-tunnels}
    elif [ "$label" = elephant ]; then
        bench_capture "$label" "${CAPTURE_OF[$label]}" "${GROWTH_TOOLS[@]:0:2}" ${WIRETALLY:+wiretally-64M}
    elif [ "$label" = longflow ]; then
        bench_capture "$label" "${CAPTURE_OF[$label]}" "${GROWTH_TOOLS[@]:0:2}" \
            ${WIRETALLY:+wiretally-64M wiretally-everything-64M}
    elif [ "$label" = pcapng ]; then
        bench_capture "$label" "${CAPTURE_OF[$label]}" "${GROWTH_TOOLS[@]:0:2}"
    elif { [ "$label" = base ] || [ "$label" = scan ]; } && [ -n "$WIRETALLY" ]; then
        bench_capture "$label" "${CAPTURE_OF[$label]}" "${TOOLS[@]}" wiretally-ipv6 wiretally-tunnels \
            wiretally-retransmissions wiretally-connections wiretally-report wiretally-all wiretally-everything \
            ${DASK:+wiretally-dask}
    elif [ "$label" = rscan ] && [ -n "$WIRETALLY" ]; then
        bench_capture "$label" "${CAPTURE_OF[$label]}" "${TOOLS[@]}" wiretally-256M
    else
        bench_capture "$label" "${CAPTURE_OF[$label]}" "${TOOLS[@]}"
    fi
done

echo "capture,tool,runs,failed_runs,median_s,gb_per_s,mframes_per_s,ratio_to_read_loop,peak_rss_kib,rss_bytes_per_tcp_segment,growth_ratio" >"$CSV"
echo
printf '%-6s %-15s %10s %8s %9s %9s %12s %10s %8s\n' capture tool median_s GB/s Mframes/s vs_loop peak_MiB B/segment growth
for label in "${LABELS[@]}"; do
    capture=${CAPTURE_OF[$label]}
    bytes=$(stat -c %s "$capture")
    frames=$(count_of "$capture" frames)
    segments=$(count_of "$capture" tcp_segments)
    mapfile -t measured < <(awk -v c="$label" '$1 == c && !seen[$2]++ { print $2 }' "$RAW")
    for tool in "${measured[@]}"; do
        read -r wall ratio peak failures < <(figures "$label" "$tool")
        growth=NA
        if [ "$label" = large ] && [ "$wall" != NA ]; then
            read -r base_wall _ < <(figures base "$tool")
            [ "$base_wall" != NA ] && growth=$(awk -v l="$wall" -v b="$base_wall" 'BEGIN { printf "%.2f", l / b }')
        fi
        row=$(awk -v w="$wall" -v r="$ratio" -v p="$peak" -v by="$bytes" -v fr="$frames" -v sg="$segments" 'BEGIN {
            if (w == "NA") { printf "NA NA NA %s %d %s", r, p, "NA"; exit }
            printf "%.3f %.3f %.3f %s %d %.1f", w, by / w / 1e9, fr / w / 1e6, (r == "NA" ? r : sprintf("%.2f", r)), p,
                (sg > 0 ? p * 1024 / sg : 0) }')
        read -r m gbs mfs vs pk per <<<"$row"
        echo "$label,$tool,$RUNS,$failures,$m,$gbs,$mfs,$vs,$pk,$per,$growth" >>"$CSV"
        printf '%-6s %-15s %10s %8s %9s %9s %12s %10s %8s\n' "$label" "$tool" "$m" "$gbs" "$mfs" "$vs" \
            "$(awk -v k="$pk" 'BEGIN { printf "%.1f", k / 1024 }')" "$per" "$growth"
    done
done
echo
for label in "${LABELS[@]}"; do
    capture=${CAPTURE_OF[$label]}
    echo "$label: $capture, $(stat -c %s "$capture") bytes, $(count_of "$capture" frames) frames," \
        "$(count_of "$capture" tcp_segments) TCP segments, $(count_of "$capture" tcp_flows) TCP flows"
done
if [ "$IPV6_BYTES" -gt 0 ] && [ -n "$WIRETALLY" ]; then
    read -r base_wall _ < <(figures base wiretally)
    read -r ipv6_wall _ < <(figures ipv6 wiretally-ipv6)
    awk -v b="$base_wall" -v s="$(count_of "${CAPTURE_OF[base]}" tcp_segments)" -v i="$ipv6_wall" \
        -v t="$(count_of "${CAPTURE_OF[ipv6]}" tcp_segments)" 'BEGIN { if (b != "NA" && i != "NA" && s > 0 && t > 0)
        printf "time per TCP segment, wiretally --ipv6 on ipv6 / wiretally on base: %.2f\n", (i / t) / (b / s) }'
fi
if [ "$GROWTH" -gt 0 ]; then
    echo "growth = median time on the large capture / median time on the base capture (${GROWTH}x the bytes)"
fi
echo "Results: $CSV"
