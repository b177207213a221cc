#!/usr/bin/env bash
# Builds spardyn in its three flavours (build/ the Linux one, also against
# the classic array interface in build/classic/, build-win64/ and
# build-win32/ the Windows ones, from the same objects) and runs every test:
# the C++ unit tests, and per module the Octave command tests and the
# exports (ctest runs them all).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/deps.sh
source "$root/tools/deps.sh"
spardyn_ensure_packages
spardyn_build "$root" -DSPARDYN_TESTS=ON
cd "$root/build"
status=0
ctest --output-on-failure -V > ctest.log 2>&1 || status=$?
grep -E '^[0-9]+: ([0-9]+ passed, [0-9]+ failed|calls=[0-9]+ |call [0-9]+: |FAILED |module: |\[  (PASSED|FAILED) )|tests passed|tests failed|Test +#' ctest.log || true
[ "$status" -eq 0 ] || echo "Some tests failed; the whole output is in build/ctest.log"
exit "$status"
