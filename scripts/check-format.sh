#!/usr/bin/env bash
# Fails when any C or C++ source of ours differs from what .clang-format makes of it.
#   scripts/check-format.sh        check
#   scripts/check-format.sh --fix  rewrite the files in place
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files 'src/*.cpp' 'src/*.h' 'src/*.c' 'tests/*.cpp' 'tests/*.h' 'tests/*.c' 'bench/*.cpp' 'bench/*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/clang-format-check.$$; then
  grep -E '^[^ ].*(warning|error):' /tmp/clang-format-check.$$ | cut -d: -f1 | sort | uniq -c | sed 's/^/  /' >&2
  rm -f /tmp/clang-format-check.$$
  echo "format: the files above differ from .clang-format; run scripts/check-format.sh --fix" >&2
  exit 1
fi
rm -f /tmp/clang-format-check.$$
echo "format: clean"
