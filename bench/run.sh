#!/usr/bin/env bash
# Builds the benchmarks (64-bit build) and runs them; every program starts its
# own private X server, so the user's display is never touched.
#   bench/run.sh            all of them
#   WINDOWS="10 100" bench/run.sh   other window counts for the search
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(bench_latency bench_flood bench_lifecycle bench_window_search bench_micro bench_image)
cmake --preset x64 >/dev/null
cmake --build build/x64 --target "${targets[@]}"
for target in "${targets[@]}"; do
  [ -x "build/x64/bench/$target" ] || { echo "bench: $target was not built (is Google Benchmark installed?)" >&2; exit 1; }
done

unset WEDGESIM_DEBUG
echo
build/x64/bench/bench_latency
echo
build/x64/bench/bench_flood
echo
build/x64/bench/bench_lifecycle
echo
# shellcheck disable=SC2086
build/x64/bench/bench_window_search ${WINDOWS:-10 100 1000}
echo
build/x64/bench/bench_image
echo
echo "micro benchmarks"
# Google Benchmark writes its machine context to stderr: shown only on failure.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! build/x64/bench/bench_micro --benchmark_min_time=0.5 2>"$log" | sed '/^---/d'; then
  cat "$log" >&2
  exit 1
fi
