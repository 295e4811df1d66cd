#!/usr/bin/env bash
# Rebuilds the eye-landmark model data/data.dat.
#
#   make-model.sh [BUILD_DIR]             train from the committed labels
#   RELABEL=1 make-model.sh [BUILD_DIR]   label the sources with the teacher first
#   DETBOXES=1 make-model.sh [BUILD_DIR]  redo the program's detector boxes of the labels first
#                                         (implied by RELABEL)
#   SYNTHETIC=N make-model.sh [BUILD_DIR] train on N synthetic faces only (no photos)
#
# Photos are gathered by setup-sources.sh into $LUMORA_LANDMARK_SOURCES
# (default /var/tmp/lumora-landmark-sources). Prints the held-out accuracy.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
BUILD="${1:-$ROOT/build}"
SOURCES="${LUMORA_LANDMARK_SOURCES:-/var/tmp/lumora-landmark-sources}"
OUT="$ROOT/data/data.dat"

cmake --build "$BUILD" -j4 --target landmarks-train landmarks-eval landmarks-label landmarks-detboxes
BIN="$BUILD/bin"

if [ -n "${SYNTHETIC:-}" ]; then
  "$BIN/landmarks-train" --synthetic "$SYNTHETIC" --cascade 10 --trees 300 --oversampling 5 --out "$OUT"
  "$BIN/landmarks-eval" --model "$OUT" --synthetic 500
  exit 0
fi

[ -d "$SOURCES/dlib/johns" ] || "$HERE/setup-sources.sh" "$SOURCES"
if [ -n "${RELABEL:-}" ]; then
  rm -rf "$HERE/labels"
  "$BIN/landmarks-label" --sources "$SOURCES" --out "$HERE/labels"
fi
if [ -n "${RELABEL:-}${DETBOXES:-}" ]; then
  "$BIN/landmarks-detboxes" --labels "$HERE/labels" --sources "$SOURCES"
fi
"$BIN/landmarks-train" --params "$HERE/model-params.txt" --labels "$HERE/labels" \
  --sources "$SOURCES" --holdout "$HERE/holdout.txt" --out "$OUT"
"$BIN/landmarks-eval" --model "$OUT" --labels "$HERE/labels" --sources "$SOURCES" \
  --holdout "$HERE/holdout.txt"
"$BIN/landmarks-eval" --model "$OUT" --labels "$HERE/labels" --sources "$SOURCES" \
  --holdout "$HERE/holdout.txt" --box detector
