#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."

unformatted=()
while IFS= read -r -d '' file; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
        unformatted+=("$file")
    fi
done < <(git ls-files -z -- '*.cpp' '*.h')
if [[ ${#unformatted[@]} -ne 0 ]]; then
    echo "Not formatted (run clang-format -i on them):"
    printf '  %s\n' "${unformatted[@]}"
    exit 1
fi
