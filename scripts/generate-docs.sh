#!/usr/bin/env bash
# Writes the manual page and the shell completions from the command's own
# parser (a test fails when the tree's copies differ from what it generates):
#   docs/wedgesim.1, completions/wedgesim.bash, completions/_wedgesim,
#   completions/wedgesim.fish
# Usage: scripts/generate-docs.sh [BUILD_DIR]   (default build/x64)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/x64}
command=$build/wedgesim
[ -x "$command" ] || { echo "generate-docs: build $command first" >&2; exit 1; }
mkdir -p docs completions
"$command" help --man >docs/wedgesim.1
"$command" help --completion bash >completions/wedgesim.bash
"$command" help --completion zsh >completions/_wedgesim
"$command" help --completion fish >completions/wedgesim.fish
echo "generate-docs: docs/wedgesim.1 and completions/ written from $command"
