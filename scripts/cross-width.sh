#!/usr/bin/env bash
# The control channel across widths: a 32-bit `wedgesim listen` (the host)
# scanned by a 64-bit `wedgesim scan` (the runner), with no display, through
# the builds in build/x86 and build/x64. Run by scripts/test.sh after both.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
listen=
cleanup() {
  [ -n "$listen" ] && kill "$listen" 2>/dev/null && wait "$listen" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "cross-width: $*" >&2
  [ -f "$work/events" ] && cat "$work/events" >&2
  exit 1
}

# The 32-bit command starts the way the 32-bit tests do (under qemu-i386 where
# the kernel cannot start i386 programs).
emulator=$(sed -n 's/^WEDGESIM_I386_EMULATOR_COMMAND:INTERNAL=//p' build/x86/CMakeCache.txt)
mkdir -m 0700 "$work/run"
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config
unset DISPLAY
# shellcheck disable=SC2086
$emulator build/x86/wedgesim listen --json >"$work/events" 2>"$work/err" &
listen=$!
for _ in $(seq 100); do
  grep -q '"type":"ready"' "$work/events" 2>/dev/null && break
  sleep 0.1
done
jq -e 'select(.type == "ready") | .channel | startswith("/")' "$work/events" >/dev/null ||
  fail "the 32-bit listen serves no channel: $(cat "$work/err")"

printf '4600000000001\n0104600000000008\x1d21ABC\n' >"$work/codes"
build/x64/wedgesim scan --pid "$listen" --file "$work/codes" --json >"$work/acks" ||
  fail "the 64-bit scan failed: $(cat "$work/acks")"
kill -TERM "$listen"
wait "$listen" || fail "listen did not stop cleanly"
listen=
jq -e -s '[.[] | select(.type == "event") | .data] == ["4600000000001", "0104600000000008\u001d21ABC"]' \
  "$work/events" >/dev/null || fail "the two barcodes did not arrive whole, in order"
jq -e 'select(.type == "stopped") | .events == 2' "$work/events" >/dev/null ||
  fail "not exactly two events"
echo "cross-width: a 64-bit scan reached a 32-bit host, both barcodes whole"
