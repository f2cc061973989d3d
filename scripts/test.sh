#!/usr/bin/env bash
# Installs what is needed, builds both libraries (and the sanitizer builds)
# and runs the whole suite. Each X11 test starts its own Xvfb and openbox.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
presets=(x64 x86 asan tsan)
[ -n "${WEDGESIM_PRESETS:-}" ] && read -r -a presets <<<"$WEDGESIM_PRESETS"

for preset in "${presets[@]}"; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  if [ "$preset" = x86 ]; then
    sed -n 's/^WEDGESIM_I386_RUNNER:INTERNAL=/32-bit tests run /p' build/x86/CMakeCache.txt
  fi
  cmake --build --preset "$preset" -j "$jobs"
done

status=0
if [ -f build/x64/compile_commands.json ]; then
  echo "== lint"
  bash scripts/lint.sh || status=1
fi
for preset in "${presets[@]}"; do
  echo "== test: $preset"
  # X11 tests wait on a server more than they compute: run a few more than the cores.
  if ! ctest --preset "$preset" -j $((jobs + 2)) --timeout 180; then
    status=1
  fi
done
exit $status
