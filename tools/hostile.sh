#!/usr/bin/env bash
# The hostile-input run: randomly malformed calls of every command word
# (tests/hostile/), in Octave processes that are restarted after a crash, so
# that every crash is counted and the run goes on after it.
#
#   tools/hostile.sh [--seed S] [--calls N] [--chunk C] [--asan] [--build DIR]
#
#   --seed S     seed of the run (default 1); call i of a seed is always the same draw
#   --calls N    number of calls (default 100000)
#   --chunk C    calls per Octave process (default 5000)
#   --asan       module built with AddressSanitizer and UBSan (build-asan/),
#                both preloaded into Octave; any report ends the process and
#                counts as a crash
#   --build DIR  use the module already built in DIR (no build)
#
# Prints "calls=… survived=… crashes=…", then each crash (or hang: a process
# that outlives its time) with the call that caused it.  Exit status 1 when
# anything crashed, hung or left the registry inconsistent.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seed=1 calls=100000 chunk=5000 asan=0 build=""
while [ $# -gt 0 ]; do
  case "$1" in
    --seed) seed=$2; shift 2 ;;
    --calls) calls=$2; shift 2 ;;
    --chunk) chunk=$2; shift 2 ;;
    --asan) asan=1; shift ;;
    --build) build=$2; shift 2 ;;
    *) echo "usage: tools/hostile.sh [--seed S] [--calls N] [--chunk C] [--asan] [--build DIR]" >&2; exit 2 ;;
  esac
done

preload=()
if [ "$asan" -eq 1 ]; then
  if [ -z "$build" ]; then
    build="$root/build-asan"
    cmake -S "$root" -B "$build" -DSPARDYN_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null &&
      cmake --build "$build" -j2 --target spardyn buffer_fixture > /dev/null || exit 1
  fi
  preload=(env "LD_PRELOAD=$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)"
           "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:halt_on_error=1"
           "UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1")
  per_call=1      # seconds a call may take under the sanitizers, on average
elif [ -z "$build" ]; then
  # shellcheck source=tools/deps.sh
  source "$root/tools/deps.sh"
  spardyn_build "$root" > /dev/null || exit 1
  build="$root/build"
  per_call=0.2
else
  per_call=0.2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
next=0 crashes=0 refused=0 accepted=0 inconsistent=0
report="$work/report"
: > "$report"
while [ "$next" -lt "$calls" ]; do
  count=$(( calls - next < chunk ? calls - next : chunk ))
  limit=$(awk -v c="$count" -v p="$per_call" 'BEGIN { printf "%d", 60 + c * p }')
  : > "$work/progress"
  { timeout --signal=KILL "$limit" "${preload[@]}" octave-cli --no-gui --norc --quiet \
      "$root/tests/hostile/hostile_main.m" "$build" "$root" "$seed" "$next" "$count" \
      "$work/progress" > "$work/out" 2> "$work/err"; } 2> /dev/null
  status=$?
  summary=$(grep -aE '^calls=' "$work/out" | tail -1)
  grep -aE '^inconsistent after' "$work/out" >> "$report"
  if [ -n "$summary" ] && [ "$(tail -1 "$work/progress")" = "done" ]; then
    for key in refused accepted inconsistent; do
      value=$(sed -E "s/.*${key}=([0-9]+).*/\1/" <<< "$summary")
      eval "$key=\$(( $key + value ))"
    done
    next=$(( next + count ))
    continue
  fi
  # The process died (or was killed) during the last call it announced.
  last=$(grep -aE '^[0-9]+ ' "$work/progress" | tail -1)
  at=${last%% *}
  [ -n "$at" ] || at=$next
  kind="crash (status $status)"
  [ "$status" -eq 137 ] && kind="hang (killed after ${limit} s)"
  crashes=$(( crashes + 1 ))
  {
    echo "call $at: $kind"
    echo "  ${last#* }"
    grep -aE 'ERROR: AddressSanitizer|runtime error|SUMMARY|panic|Segmentation|signal' "$work/err" | head -5 | sed 's/^/  /'
  } >> "$report"
  # Calls before it ran without a crash; their refusals are not counted.
  next=$(( at + 1 ))
done

echo "calls=$calls survived=$(( calls - crashes )) crashes=$crashes refused=$refused accepted=$accepted inconsistent=$inconsistent"
cat "$report"
[ "$crashes" -eq 0 ] && [ "$inconsistent" -eq 0 ]
