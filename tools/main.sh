#!/usr/bin/env bash
# Builds spardyn and runs the main job (examples/main.m).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/deps.sh
source "$root/tools/deps.sh"
spardyn_ensure_packages
spardyn_build "$root" -DSPARDYN_TESTS=OFF
cd "$root"
# Only the host's exit notice is filtered, from stderr: the progress bar on
# stdout stays live.
octave-cli --no-gui --norc --quiet examples/main.m \
  2> >(grep -v "ignoring const execution_exception& while preparing to exit" >&2)
