#!/bin/sh
# Runs each fuzz target (one per module format) for SECONDS, one per core, under
# AddressSanitizer and UndefinedBehaviorSanitizer, from the seed corpus our
# writers make, and prints executions per second and edge coverage.  Fails
# on any crash, leak or sanitizer report; the input is left in
# build-fuzz/findings/.
#
#   sh tests/fuzz/run_fuzzers.sh SECONDS [xm|mod|s3m|prepared ...]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:?usage: run_fuzzers.sh SECONDS [FORMAT ...]}
shift
formats=${*:-xm mod s3m prepared}
build="$root/build-fuzz"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DINTRO_TESTS=ON -DINTRO_FUZZ=ON -DINTRO_SANITIZE=address,undefined,fuzzer-no-link >/dev/null
targets="make_fuzz_seeds"
for format in $formats; do targets="$targets fuzz_$format"; done
# shellcheck disable=SC2086
cmake --build "$build" -j"$(nproc)" --target $targets

# Seeds join whatever corpus earlier runs grew.
mkdir -p "$build/findings"
for format in xm mod s3m prepared; do mkdir -p "$build/corpus/$format"; done
"$build/tests/fuzz/make_fuzz_seeds" "$build/corpus"

# One target's run; its status lands beside its log.
fuzz_one() {
  format=$1
  if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
     "$build/tests/fuzz/fuzz_$format" -max_total_time="$seconds" -max_len=65536 -timeout=30 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/findings/$format-" \
       "$build/corpus/$format" >"$build/fuzz_$format.log" 2>&1; then
    echo ok >"$build/fuzz_$format.status"
  else
    echo FAILED >"$build/fuzz_$format.status"
  fi
}

# As many targets at a time as there are cores: each fuzzes on one.
running=0
for format in $formats; do
  fuzz_one "$format" &
  running=$((running + 1))
  if [ "$running" -ge "$(nproc)" ]; then
    wait
    running=0
  fi
done
wait

failed=0
for format in $formats; do
  corpus="$build/corpus/$format"
  log="$build/fuzz_$format.log"
  status=$(cat "$build/fuzz_$format.status")
  [ "$status" = ok ] || failed=1
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  edges=$(sed -n 's/.*Loaded [0-9]* modules *(\([0-9]*\) inline 8-bit counters).*/\1/p' "$log" | head -n 1)
  cov=$(sed -n 's/.* cov: \([0-9]*\) .*/\1/p' "$log" | tail -n 1)
  echo "fuzz_$format: $status, ${runs:-?} runs in ${seconds} s, ${rate:-?} per second," \
       "coverage ${cov:-0} of ${edges:-?} edges, corpus $(ls "$corpus" | wc -l) inputs"
  [ "$status" = ok ] || tail -n 40 "$log"
done
exit $failed
