#!/usr/bin/env bash
# Builds and runs the libFuzzer targets of the AVI reader and the WAVE reader (bench/fuzz/),
# with AddressSanitizer and UndefinedBehaviorSanitizer, apart from the main build: clang is
# needed here only, so it is installed here (when missing) rather than by scripts/deps.sh.
#
#   bench/fuzz.sh build            builds both targets into $BUILD (build-fuzz)
#   bench/fuzz.sh seeds            rewrites bench/fuzz/corpus/{avi,wav} from our writers
#   bench/fuzz.sh run [RUNS]       runs both targets side by side for RUNS inputs each
#                                  (10000000), growing $BUILD/corpus/{avi,wav} from the seeds;
#                                  AVI_WORKERS (2) and WAV_WORKERS (1) share a target's inputs
#                                  among that many processes (the AVI target is the slow one);
#                                  TARGETS ("avi wav") picks the targets
#   bench/fuzz.sh merge            keeps in bench/fuzz/corpus only the inputs that add coverage,
#                                  at most CORPUS_KB (512) KB per target
#
# Findings land in $BUILD/findings/{avi,wav} as crash-*, timeout-*, oom-*; a target run with a
# finding as its only argument reproduces it. Logs: $BUILD/findings/{avi,wav}/fuzz-N.log.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$root/build-fuzz}
corpus=$root/bench/fuzz/corpus
read -r -a targets <<<"${TARGETS:-avi wav}"

ensure_clang() {
  command -v clang++ >/dev/null && return
  if [[ $(id -u) -ne 0 ]]; then
    echo "fuzz: clang++ is missing; run as root to install it" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends clang
}

build() {
  ensure_clang
  CXX=clang++ cmake -S "$root/bench/fuzz" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=None >/dev/null
  cmake --build "$BUILD" -j"${JOBS:-2}"
}

seeds() {
  build
  rm -rf "${corpus:?}"/avi "${corpus:?}"/wav
  mkdir -p "$corpus"/avi "$corpus"/wav
  "$BUILD"/make_seeds "$corpus"
}

run() {
  local runs=${1:-10000000}
  build
  local -A workers=([avi]=${AVI_WORKERS:-2} [wav]=${WAV_WORKERS:-1})
  local pids=()
  # A report of undefined behaviour ends the run with its stack, like one of AddressSanitizer.
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
  for t in "${targets[@]}"; do
    local n=${workers[$t]}
    rm -rf "$BUILD/findings/$t" && mkdir -p "$BUILD/corpus/$t" "$BUILD/findings/$t"
    # With several workers each takes its share of the inputs and logs to fuzz-N.log; they
    # share the growing corpus.
    (cd "$BUILD/findings/$t" &&
      exec "$BUILD/${t}_reader_fuzz" -jobs="$n" -workers="$n" -runs=$(((runs + n - 1) / n)) \
        -max_len=65536 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        "$BUILD/corpus/$t" "$corpus/$t" >"$BUILD/$t.log" 2>&1) &
    pids+=($!)
  done
  local status=0
  for i in "${!targets[@]}"; do
    local t=${targets[$i]}
    wait "${pids[$i]}" || true
    if compgen -G "$BUILD/findings/$t/crash-*" >/dev/null ||
      compgen -G "$BUILD/findings/$t/timeout-*" >/dev/null ||
      compgen -G "$BUILD/findings/$t/oom-*" >/dev/null; then
      echo "fuzz: $t: finding in $BUILD/findings/$t" >&2
      status=1
    fi
    # Executions and speed, summed over the workers.
    # (The main log repeats the workers' logs.)
    cat "$BUILD/findings/$t"/fuzz-*.log 2>/dev/null |
      awk -v t="$t" '/^stat::number_of_executed_units/ {runs += $2}
        /^stat::average_exec_per_sec/ {speed += $2}
        END {printf "fuzz: %s: %d executions, %d exec/s\n", t, runs, speed}'
  done
  return $status
}

merge() {
  build
  for t in "${targets[@]}"; do
    local merged=$BUILD/merged/$t
    rm -rf "$merged" && mkdir -p "$merged"
    "$BUILD/${t}_reader_fuzz" -merge=1 -max_len=65536 -timeout=10 "$merged" \
      "$corpus/$t" "$BUILD/corpus/$t" 2>"$BUILD/$t-merge.log"
    rm -rf "${corpus:?}/$t" && cp -r "$merged" "$corpus/$t"
    # The tree keeps at most $CORPUS_KB (512) KB of each: the largest inputs go first (the AVI
    # ones carry our writer's padding; `seeds` makes them again).
    while (($(du -sb "$corpus/$t" | cut -f1) > ${CORPUS_KB:-512} * 1024)); do
      rm "$corpus/$t/$(ls -S "$corpus/$t" | head -n 1)"
    done
    echo "fuzz: $t: $(ls "$corpus/$t" | wc -l) inputs kept of $(ls "$merged" | wc -l)"
  done
  du -sb "$corpus"/*
}

case ${1:-} in
  build | seeds | merge) "$1" ;;
  run) run "${2:-}" ;;
  *)
    sed -n '6,14p' "$0" >&2
    exit 2
    ;;
esac
