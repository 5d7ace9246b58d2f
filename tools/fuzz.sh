#!/usr/bin/env bash
# Fuzzing with libFuzzer (clang, AddressSanitizer and UndefinedBehaviorSanitizer).
#
#   tools/fuzz.sh TARGET [SECONDS [RUNS]]
#                                    a campaign of SECONDS (default 3600), or RUNS executions if
#                                    that comes first, on one target; new inputs that reach new
#                                    code are merged into tests/fuzz/corpus/TARGET. With
#                                    VELMORA_FUZZ_JOBS=N the campaign runs in N processes that
#                                    share the working corpus (RUNS is then not counted)
#   tools/fuzz.sh --ci [SECONDS]     every target's regression inputs once, then every target for
#                                    SECONDS (default 30) from its corpus, all at once; fails on
#                                    any finding and leaves the corpus as it is
#
# Targets: hex, bmp, gate, cpu (tests/fuzz/TARGET_fuzz.cpp). Builds into build-fuzz. A campaign
# keeps its working corpus in build-fuzz/corpus/TARGET, so campaigns continue where the last one
# stopped, and adds a line of figures to build-fuzz/fuzz-log.txt. Findings land in
# build-fuzz/findings/TARGET; minimise one with
#   build-fuzz/velmora_fuzz_TARGET -minimize_crash=1 -runs=100000 FILE
# and keep the result in tests/fuzz/regressions/TARGET. Run long campaigns with nice -n 19.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(hex bmp gate cpu)
# A small quarantine keeps freed memory poisoned for a while yet lets the allocator reuse pages
# (fresh pages for every run cost more than the run); fontconfig keeps its configuration for good.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}

max_len() {
  case "$1" in
    hex) echo 4096 ;;
    bmp) echo 4096 ;;
    gate) echo 2048 ;;
    cpu) echo 4096 ;;
  esac
}

build() {
  local cxx=${VELMORA_FUZZ_CXX:-clang++-14} cc=${VELMORA_FUZZ_CC:-clang-14}
  local launcher=()
  command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  CC=$cc CXX=$cxx cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMORA_FUZZ=ON -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF "${launcher[@]}" > /dev/null
  local names=()
  for t in "$@"; do names+=("velmora_fuzz_$t"); done
  cmake --build build-fuzz -j "$(nproc)" --target "${names[@]}"
}

# Seconds one input may take. In CI an input may run a few of the longest services
# (docs/runner.md: resource limits); a campaign under nice on a busy machine can wait far longer
# for the processor, so there only a hang counts.
timeout=30

options() {
  local t=$1
  local opts=(-max_len="$(max_len "$t")" -timeout="$timeout" -rss_limit_mb=2048 -print_final_stats=1)
  [ -f "tests/fuzz/$t.dict" ] && opts+=(-dict="tests/fuzz/$t.dict")
  echo "${opts[@]}"
}

# The whole run is one function, read before it starts: editing this file meanwhile cannot
# change a campaign under way.
main() {
  if [ "${1:-}" = "--ci" ]; then
    seconds=${2:-30}
    build "${targets[@]}"
    status=0
    for t in "${targets[@]}"; do
      regressions=(tests/fuzz/regressions/$t/*)
      if [ -e "${regressions[0]}" ]; then
        build-fuzz/velmora_fuzz_$t $(options "$t") "${regressions[@]}" > "build-fuzz/ci-$t-regressions.log" 2>&1 ||
          { echo "fuzz $t: a regression input fails again"; tail -40 "build-fuzz/ci-$t-regressions.log"; status=1; }
      fi
    done
    pids=()
    for t in "${targets[@]}"; do
      work=$(mktemp -d)
      mkdir -p "build-fuzz/findings/$t"
      build-fuzz/velmora_fuzz_$t $(options "$t") -max_total_time="$seconds" \
        -artifact_prefix="build-fuzz/findings/$t/" "$work" "tests/fuzz/corpus/$t" \
        > "build-fuzz/ci-$t.log" 2>&1 &
      pids+=($!)
    done
    for i in "${!targets[@]}"; do
      t=${targets[$i]}
      if wait "${pids[$i]}"; then
        echo "fuzz $t: $(grep -o 'stat::number_of_executed_units: [0-9]*' "build-fuzz/ci-$t.log" | cut -d' ' -f2) runs, no finding"
      else
        echo "fuzz $t: FINDING (build-fuzz/ci-$t.log, input in build-fuzz/findings/$t)"
        tail -60 "build-fuzz/ci-$t.log"
        status=1
      fi
    done
    exit $status
  fi

  t=${1:?usage: tools/fuzz.sh TARGET [SECONDS] | tools/fuzz.sh --ci [SECONDS]}
  seconds=${2:-3600}
  runs_limit=${3:-0}
  [ -f "tests/fuzz/${t}_fuzz.cpp" ] || { echo "unknown target $t (one of: ${targets[*]})"; exit 64; }
  build "$t"
  timeout=600
  work=build-fuzz/corpus/$t
  mkdir -p "$work" "build-fuzz/findings/$t" "tests/fuzz/corpus/$t"
  log=build-fuzz/campaign-$t-$(date -u +%Y%m%dT%H%M%S).log
  set +e
  jobs=${VELMORA_FUZZ_JOBS:-1}
  if [ "$jobs" -gt 1 ]; then
    # libFuzzer's fork mode: the jobs' new inputs come back into the working corpus; a timeout
    # or running out of memory is a finding, as in one process.
    limit=(-fork="$jobs" -ignore_timeouts=0 -ignore_ooms=0)
  else
    # One process: nothing else adds to the working corpus, so it is never read again.
    limit=(-reload=0)
    [ "$runs_limit" != 0 ] && limit+=(-runs="$runs_limit")
  fi
  build-fuzz/velmora_fuzz_$t $(options "$t") -max_total_time="$seconds" "${limit[@]}" \
    -artifact_prefix="build-fuzz/findings/$t/" "$work" "tests/fuzz/corpus/$t" > "$log" 2>&1
  result=$?
  set -e
  runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
  # A campaign stopped from outside prints no statistics: its last progress line counts.
  [ -n "$runs" ] || runs=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#')
  speed=$(awk '/stat::average_exec_per_sec/ {print $2}' "$log")
  # Fork mode prints no statistics: its last progress line has the jobs' total and rate.
  [ -n "$speed" ] || speed=$(grep -o 'exec/s:* [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
  # Fork mode counts coverage its own way: one pass over the corpus gives the usual figures.
  if [ "$jobs" -gt 1 ]; then
    coverage=$(build-fuzz/velmora_fuzz_$t $(options "$t") -runs=0 "$work" "tests/fuzz/corpus/$t" 2>&1 |
      grep -o 'cov: [0-9]* ft: [0-9]*' | tail -1)
  fi
  echo "$(date -u +%FT%TZ) $t seconds=$seconds runs=${runs:-0} exec/s=${speed:-0} $coverage status=$result" |
    tee -a build-fuzz/fuzz-log.txt
  # Only inputs that reach something the repository's corpus does not are added to it.
  build-fuzz/velmora_fuzz_$t $(options "$t") -merge=1 "tests/fuzz/corpus/$t" "$work" \
    > "build-fuzz/merge-$t.log" 2>&1 || true
  echo "corpus: $(ls "tests/fuzz/corpus/$t" | wc -l) inputs in tests/fuzz/corpus/$t"
  exit $result
}

main "$@"
