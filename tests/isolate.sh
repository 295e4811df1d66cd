#!/usr/bin/env bash
# Runs one test with its own temporary HOME and XDG directories, so no test
# ever reads or writes the real user's settings, data or runtime files.
set -u
tmp=$(mktemp -d "${TMPDIR:-/tmp}/lumora-test.XXXXXX")
export HOME="$tmp/home"
export XDG_CONFIG_HOME="$tmp/config"
export XDG_DATA_HOME="$tmp/data"
export XDG_CACHE_HOME="$tmp/cache"
export XDG_STATE_HOME="$tmp/state"
export XDG_RUNTIME_DIR="$tmp/runtime"
export TMPDIR="$tmp/tmp"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" \
         "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM="${LUMORA_TEST_QPA:-offscreen}"
# The maker's services are never reached from a test: unless a test points
# them at its own server, they lead to a closed local port.
export LUMORA_SERVICE_URL="${LUMORA_SERVICE_URL:-http://127.0.0.1:9}"
export LUMORA_UPDATE_FEED_URL="${LUMORA_UPDATE_FEED_URL:-http://127.0.0.1:9/files/download/updates.json}"
"$@"
rc=$?
rm -rf "$tmp"
exit $rc
