#!/usr/bin/env bash
# Takes docs/capture-window.png: the add-in's hotkey capture window, prompt
# shown, inside the host window, as `wedgesim set-hotkey` puts it on screen.
#
# Runs on a private Xvfb with openbox, so it works headless and never touches
# the user's desktop. The capture is then ended with Escape, injected by
# `wedgesim _press`, and set-hotkey must answer "cancelled": the picture is
# only kept when the whole round trip worked.
#
# Usage: scripts/capture-window-screenshot.sh [OUTPUT.png]
#   WEDGESIM=path/to/wedgesim overrides the command (default: build/x64/wedgesim).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
wedgesim=${WEDGESIM:-$root/build/x64/wedgesim}
output=${1:-$root/docs/capture-window.png}

fail() {
  echo "capture-window-screenshot: $*" >&2
  exit 1
}

[ -x "$wedgesim" ] || fail "$wedgesim is not built (cmake --build build/x64 --target wedgesim_cli)"
for program in Xvfb:xvfb openbox:openbox import:imagemagick xprop:x11-utils xwininfo:x11-utils; do
  command -v "${program%%:*}" >/dev/null ||
    fail "${program%%:*} is missing (install the Debian package ${program##*:})"
done

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Polls a command for up to ten seconds.
wait_for() {
  local tries=100
  until "$@" >/dev/null 2>&1; do
    ((--tries > 0)) || return 1
    sleep 0.1
  done
}

# Xvfb picks a free display itself and writes its number once it accepts
# connections.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for test -s "$work/display" || fail "Xvfb did not start: $(tail -3 "$work/xvfb.log")"
export DISPLAY=":$(head -1 "$work/display")"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for sh -c 'xprop -root -notype _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
  fail "openbox does not manage the screen: $(tail -3 "$work/openbox.log")"
# openbox announces itself a moment before it manages windows, and a window
# mapped in between is never listed; `info` reports whether its host window
# was listed, so it doubles as the readiness probe.
for try in 1 2 3 4 5; do
  XDG_CONFIG_HOME="$work/config" "$wedgesim" info --json 2>/dev/null | grep -q '"window": "0x' &&
    break
  ((try < 5)) || fail "openbox never listed a window"
done

# A profile of its own, so the user's hotkeys are neither read nor changed.
XDG_CONFIG_HOME="$work/config" "$wedgesim" set-hotkey 1 >"$work/out" 2>"$work/err" &
capture=$!
pids+=("$capture")

# set-hotkey names its host window in the prompt it prints just before the
# capture window appears; the capture window is that window's only child.
wait_for grep -q "capture window of host window" "$work/err" ||
  fail "set-hotkey did not prompt: $(cat "$work/err")"
host=$(grep -o 'host window 0x[0-9a-f]*' "$work/err" | head -1 | awk '{print $3}')
wait_for sh -c "xwininfo -children -id $host | grep -q '1 child'" ||
  fail "no capture window appeared in host window $host"
sleep 0.5  # the prompt is drawn on the first exposure

mkdir -p "$(dirname "$output")"
# -frame includes openbox's title bar, so the picture reads as a window.
import -frame -window "$host" "$work/shot.png"

"$wedgesim" _press Escape >/dev/null
wait "$capture" || fail "set-hotkey failed: $(cat "$work/err")"
grep -qx cancelled "$work/out" || fail "set-hotkey did not report the cancel: $(cat "$work/out")"

mv "$work/shot.png" "$output"
echo "wrote $output"
