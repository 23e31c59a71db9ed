#!/usr/bin/env bash
# Installs what is missing, builds wiretally and runs it with extended statistics on the small capture that
# ships with the project, then shows the summary and the detail files it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DWIRETALLY_BENCHMARKS=OFF >/dev/null
cmake --build build-demo -j"$(nproc)" --target wiretally

mkdir -p demo-results
build-demo/app/wiretally -e -i examples/sample.pcap -o demo-results/sample
echo "== demo-results/sample.Summary.txt"
cat demo-results/sample.Summary.txt
for file in demo-results/sample.*.csv; do
    echo "== $file ($(wc -l <"$file") rows)"
    head -n 3 "$file"
done
