#!/usr/bin/env bash
# Builds spardyn and runs every test: the C++ unit tests and the Octave
# command tests (ctest runs both).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/deps.sh
source "$root/tools/deps.sh"
spardyn_ensure_packages
spardyn_build "$root"
cd "$root/build"
status=0
ctest --output-on-failure -V > ctest.log 2>&1 || status=$?
grep -E '^[0-9]+: ([0-9]+ passed, [0-9]+ failed|calls=[0-9]+ |call [0-9]+: |FAILED |\[  (PASSED|FAILED) )|tests passed|tests failed|Test +#' ctest.log || true
[ "$status" -eq 0 ] || echo "Some tests failed; the whole output is in build/ctest.log"
exit "$status"
