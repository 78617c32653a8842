#!/bin/sh
# Runs every example of a manual page that shows a command after "$ " in an
# .EX block, with the built marquill first on PATH, and compares what it
# prints with the lines the page shows after it.
# Usage: manual-examples.sh MARQUILL PAGE...
set -eu
bin=$(cd "$(dirname "$1")" && pwd)
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/marquill-manual-XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
failed=0
for page in "$@"; do
  # One file per command (n.cmd) and what it shows (n.out), roff escapes undone.
  rm -f "$work"/*.cmd "$work"/*.out
  awk -v dir="$work" '
    function plain(s) { gsub(/\\-/, "-", s); gsub(/\\e/, "\\", s); return s }
    /^\.EX/ { on = 1; next }
    /^\.EE/ { on = 0; cmd = 0; next }
    on && /^\$ / { n++; cmd = 1; print plain(substr($0, 3)) > (dir "/" n ".cmd"); printf "" > (dir "/" n ".out"); next }
    on && cmd { print plain($0) > (dir "/" n ".out") }
  ' "$page"
  count=0
  for c in "$work"/*.cmd; do
    [ -e "$c" ] || continue
    count=$((count + 1))
    want=$(cat "${c%.cmd}.out")
    got=$(PATH="$bin:$PATH" LC_ALL=C sh "$c" 2>&1) || true
    if [ "$got" != "$want" ]; then
      printf '%s: the example %s\n' "$page" "$(cat "$c")" >&2
      echo "  shows:" >&2; printf '%s\n' "$want" >&2
      echo "  gives:" >&2; printf '%s\n' "$got" >&2
      failed=1
    fi
  done
  [ "$count" -gt 0 ] || { echo "$page: no example with a command" >&2; failed=1; }
done
exit $failed
