#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ in build-fuzz/ (configured once, with
# clang++-14) and runs each for FUZZ_SECONDS seconds (default 60) from a copy of its
# seed corpus in fuzz/corpus/, so the corpus kept in the repository is left as it
# is. Prints, per target, the inputs executed and the crashes found; exits non-zero
# when a target crashed or did not run. Arguments, if any, name the targets to run.
# Findings stay in build-fuzz/runs/<target>/ (crash-*, leak-*, oom-*, timeout-*).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
seconds=${FUZZ_SECONDS:-60}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_load22 fuzz_load44 fuzz_checkers fuzz_sequences)

if [ ! -f "$build/CMakeCache.txt" ]; then
  generator=()
  if command -v ninja >/dev/null; then generator=(-G Ninja); fi
  cmake -S "$root/fuzz" -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER=clang++-14 >&2
fi
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >&2

status=0
printf '%-16s %12s %8s\n' target executions crashes
for target in "${targets[@]}"; do
  run="$build/runs/$target"
  rm -rf "$run"
  mkdir -p "$run/corpus"
  cp -r "$root/fuzz/corpus/$target/." "$run/corpus/"
  # The two-qubit table takes half a gigabyte, twice while it is generated.
  rc=0
  (cd "$run" && "$build/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -rss_limit_mb=4096 -artifact_prefix="$run/" corpus >"$run/log.txt" 2>&1) || rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log.txt")
  crashes=$(find "$run" -maxdepth 1 -name 'crash-*' | wc -l)
  others=$(find "$run" -maxdepth 1 \( -name 'leak-*' -o -name 'oom-*' -o -name 'timeout-*' \) | wc -l)
  printf '%-16s %12s %8s' "$target" "${execs:-?}" "$crashes"
  [ "$others" -eq 0 ] || printf '   (+%s leak/oom/timeout)' "$others"
  [ "$rc" -eq 0 ] || printf '   exit %s, see %s' "$rc" "$run/log.txt"
  printf '\n'
  if [ "$rc" -ne 0 ] || [ -z "$execs" ] || [ "$crashes" -ne 0 ] || [ "$others" -ne 0 ]; then
    status=1
  fi
done
exit "$status"
