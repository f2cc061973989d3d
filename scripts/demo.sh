#!/usr/bin/env bash
# The main job: installs what is needed, builds the library and the reference
# host, and runs the self-contained demo (it starts its own X server when
# there is no DISPLAY). Extra arguments go to `wedgesim demo`.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

# Quiet when the build works; when it does not, its whole output is the news.
log=$(mktemp)
quietly() {
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "demo.sh: failed: $*" >&2
    exit 1
  fi
}
quietly cmake --preset x64
quietly cmake --build --preset x64 --target wedgesim_cli wedgesim_addin -j "$(nproc)"
rm -f "$log"
exec build/x64/wedgesim demo "$@"
