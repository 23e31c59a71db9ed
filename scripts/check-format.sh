#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."

unformatted=()
while IFS= read -r -d '' file; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
        unformatted+=("$file")
    fi
done < <(if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z -- '*.cpp' '*.h'
else
    find app output measurement flow capture figure net tests tools bench fuzz \( -name '*.cpp' -o -name '*.h' \) \
        -print0 2>/dev/null
fi)
if [[ ${#unformatted[@]} -ne 0 ]]; then
    echo "Not formatted (run clang-format -i on them):"
    printf '  %s\n' "${unformatted[@]}"
    exit 1
fi
