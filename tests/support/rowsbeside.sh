#!/bin/sh
# Runs rows of one QtTest program beside each other, each in a process of
# its own, for tests that mostly wait (real-time camera runs): the rows take
# the time of the longest, not of all together. Prints each row's output
# when all have ended; fails when any row fails.
#   rowsbeside.sh PROGRAM FUNCTION:ROW...
set -u
program=$1
shift
out=$(mktemp -d "${TMPDIR:-/tmp}/rows.XXXXXX")
pids=""
i=0
for row in "$@"; do
  "$program" "$row" >"$out/$i.log" 2>&1 &
  pids="$pids $!"
  i=$((i + 1))
done
status=0
for pid in $pids; do
  wait "$pid" || status=1
done
i=0
for row in "$@"; do
  echo "=== $row"
  cat "$out/$i.log"
  i=$((i + 1))
done
rm -rf "$out"
exit $status
