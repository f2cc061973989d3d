#!/usr/bin/env bash
# The main job: installs what is needed, builds the library and the reference
# host, and runs the self-contained demo (it starts its own X server when
# there is no DISPLAY). Extra arguments go to `wedgesim demo`.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset x64 >/dev/null
cmake --build --preset x64 --target wedgesim_cli wedgesim_addin -j "$(nproc)" >/dev/null
exec build/x64/wedgesim demo "$@"
