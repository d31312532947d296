#!/usr/bin/env bash
# Every C++ file of the tree follows .clang-format; lists the ones that do not (a CTest entry).
# Put a file right with: clang-format -i FILE
set -eu
cd "$(dirname "$0")/.."
format=$(command -v clang-format || true)
if [ -z "$format" ]; then
    echo "clang-format is not installed (scripts/install-deps.sh installs it)" >&2
    exit 1
fi
off=0
while IFS= read -r -d '' file; do
    if ! "$format" --dry-run --Werror "$file" >/dev/null 2>&1; then
        echo "not formatted: $file"
        off=$((off + 1))
    fi
done < <(git ls-files -z '*.cpp' '*.h' 2>/dev/null || find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0)
echo "$off files off the format"
[ "$off" = 0 ]
