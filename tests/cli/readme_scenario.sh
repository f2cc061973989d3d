#!/usr/bin/env bash
# Runs the README's runner scenario exactly as it stands there (the lines
# that start with "$ " in the block after <!-- runner scenario -->), several
# times in a row, each in a directory of its own, and checks each run's last
# output against the README's.
#   readme_scenario.sh README WEDGESIM_DIR [RUNS]
set -euo pipefail
readme=$1 bin=$2 runs=${3:-20}
block=$(awk '/<!-- runner scenario -->/ { inside = 1; next }
             inside && /^```sh/ { code = 1; next }
             code && /^```/ { exit }
             code { print }' "$readme")
commands=$(printf '%s\n' "$block" | sed -n 's/^\$ //p')
expected=$(printf '%s\n' "$block" | awk '/^\$ / { out = "" ; next } { out = $0 } END { print out }')
[ -n "$commands" ] || { echo "no runner scenario in $readme" >&2; exit 1; }
for run in $(seq "$runs"); do
  dir=$(mktemp -d)
  mkdir -m 700 "$dir/run"
  got=$(cd "$dir" && env -u DISPLAY -u WEDGESIM_DEBUG PATH="$bin:$PATH" XDG_RUNTIME_DIR="$dir/run" \
        XDG_CONFIG_HOME="$dir" bash -e -o pipefail -c "$commands" 2>"$dir/stderr" | tail -1) || {
    echo "run $run failed:" >&2
    cat "$dir/stderr" >&2
    exit 1
  }
  if [ "$got" != "$expected" ]; then
    echo "run $run ended with '$got', the README says '$expected'" >&2
    cat "$dir/stderr" >&2
    exit 1
  fi
  rm -rf "$dir"
done
echo "the README's runner scenario passed $runs times in $runs"
