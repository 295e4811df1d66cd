#!/usr/bin/env bash
# Runs the whole CTest suite under a virtual X display and a private D-Bus
# session bus, so GUI and bus tests never touch the user's own session.
# A failed test fails the run. Only a test labelled "desktop" is run once
# more after failing: it starts desktop programs (trayer, openbox, an X
# server of its own) that give no sign of being ready and now and then start
# slowly. Each such retry is announced with a line, and the counts of the
# whole run follow it.
set -euo pipefail
SELF="$(readlink -f "$0")"
BUILD_DIR="$(cd "${1:-build}" && pwd)"
JOBS="${JOBS:-$(nproc)}"
LABEL_ARGS=()
if [ -z "${LUMORA_TEST_ALL:-}" ]; then LABEL_ARGS=(-LE slow); fi

# The first and the second run share one X display and one bus.
if [ -z "${LUMORA_TEST_SESSION:-}" ]; then
  export LUMORA_TEST_SESSION=1
  exec dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24 +extension RANDR" "$SELF" "$BUILD_DIR"
fi

cd "$BUILD_DIR"
CTEST=(ctest --output-on-failure -j "$JOBS" --timeout 600)
FAILED_LOG=Testing/Temporary/LastTestsFailed.log
rm -f "$FAILED_LOG"
status=0
"${CTEST[@]}" "${LABEL_ARGS[@]}" || status=$?
if [ "$status" -eq 0 ] || [ ! -f "$FAILED_LOG" ]; then exit "$status"; fi

# Failed tests (lines "number:name") split into desktop tests and the rest.
mapfile -t desktop < <(ctest -N -L '^desktop$' "${LABEL_ARGS[@]}" | sed -n 's/^ *Test *#[0-9]*: //p')
retry=()
final=()
while IFS=: read -r number name; do
  if printf '%s\n' "${desktop[@]}" | grep -qxF -- "$name"; then
    retry+=("$name")
  else
    final+=("$number:$name")
  fi
done <"$FAILED_LOG"
if [ "${#retry[@]}" -eq 0 ]; then exit "$status"; fi

echo
for t in "${retry[@]}"; do
  echo "run-tests.sh: $t failed; it starts desktop programs whose start-up may be slow, so it is run once more."
done
rm -f "$FAILED_LOG"
"${CTEST[@]}" -R "^($(IFS='|'; echo "${retry[*]}"))\$" || true

# The tests that failed for good, for ctest --rerun-failed and the counts.
touch "$FAILED_LOG"
if [ "${#final[@]}" -gt 0 ]; then printf '%s\n' "${final[@]}" >>"$FAILED_LOG"; fi
failed=$(wc -l <"$FAILED_LOG")
total=$(ctest -N "${LABEL_ARGS[@]}" | sed -n 's/^Total Tests: //p')
echo
echo "run-tests.sh: the whole run, counting each retried test by its second run:"
# In ctest's own words and rounding, which never says 100% with a failure.
awk -v f="$failed" -v t="$total" 'BEGIN {
  p = int((t - f) * 100 / t + 0.5); if (f > 0 && p > 99) p = 99
  printf "%d%% tests passed, %d tests failed out of %d\n", p, f, t }'
if [ "$failed" -gt 0 ]; then
  echo "run-tests.sh: failed:"
  sed 's/^[0-9]*:/\t/' "$FAILED_LOG"
  exit 8
fi
