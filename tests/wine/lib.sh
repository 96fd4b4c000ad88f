# Helpers for the shell-driven tests that run under Wine.
#   source tests/wine/lib.sh
# gives: $root, $wine_run, $prefix, expect_eq NAME EXPECTED ACTUAL,
# expect_match NAME REGEX ACTUAL, and finish (prints the summary, sets the
# exit code).

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine_run="$root/tools/wine-run"
prefix=${WINEPREFIX:-$root/build/wine/prefix}
passed=0
failed=0

expect_eq() {
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
    echo "[  OK  ] $1"
  else
    failed=$((failed + 1))
    echo "[ FAIL ] $1"
    echo "--- expected"; printf '%s\n' "$2" | cat -A
    echo "--- actual"; printf '%s\n' "$3" | cat -A
  fi
}

expect_match() {
  if [[ "$3" =~ $2 ]]; then
    passed=$((passed + 1))
    echo "[  OK  ] $1"
  else
    failed=$((failed + 1))
    echo "[ FAIL ] $1: does not match $2"
    printf '%s\n' "$3" | cat -A
  fi
}

finish() {
  echo "$(basename "$0" .sh): $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
