#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, then runs each target.
#
#   scripts/fuzz.sh              every target for 5 seconds on its seeds (the test step)
#   scripts/fuzz.sh 600          every target for 600 seconds
#   scripts/fuzz.sh 600 jpeg bmp only those targets
#
# Seeds are read from fuzz/corpus/<target>/ and never written: what a run
# finds new goes to build-fuzz/corpus/<target>/, a crash to
# build-fuzz/findings/<target>/. Copy an input worth keeping into the seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  # Every fuzz/<name>_fuzz.cpp is a target, as fuzz/CMakeLists.txt builds them.
  for f in fuzz/*_fuzz.cpp; do f=${f##*/}; targets+=("${f%_fuzz.cpp}"); done
fi

cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "${FUZZ_JOBS:-$(nproc)}" --target $(printf '%s_fuzz ' "${targets[@]}")

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
status=0
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t" "build-fuzz/findings/$t"
  # The frame sources start from the seeds of the formats that move.
  seeds=("fuzz/corpus/$t")
  [ "$t" = animation ] && seeds=(fuzz/corpus/{gif,png,webp,jxl})
  echo "== $t: ${seconds}s"
  # -timeout flags an input that hangs; -rss_limit_mb one that balloons.
  if ! "build-fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 \
      -artifact_prefix="build-fuzz/findings/$t/" -print_final_stats=1 \
      "build-fuzz/corpus/$t" "${seeds[@]}" >"build-fuzz/$t.log" 2>&1; then
    echo "!! $t found a problem; see build-fuzz/$t.log and build-fuzz/findings/$t/"
    tail -n 40 "build-fuzz/$t.log"
    status=1
  else
    grep -E '^(stat::number_of_executed_units|Done)' "build-fuzz/$t.log" | tr '\n' ' '; echo
  fi
done
exit $status
