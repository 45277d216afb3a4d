#!/usr/bin/env bash
# Builds the fuzz targets with clang (TESMAR_FUZZ=ON) and runs each on its
# seeds for a short time. A crash, a hang (-timeout) or running out of memory
# (-rss_limit_mb) fails the run; the input that did it is left in
# <build>/fuzz/artifacts/ (replay: <build>/fuzz/fuzz_<target> <file>).
#   FUZZ_SECONDS  seconds per target (default 30)
#   FUZZ_TARGETS  targets to run (default: all of them)
#   BUILD_DIR     build folder (default: build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps
build="${BUILD_DIR:-build-fuzz}"
seconds="${FUZZ_SECONDS:-30}"
targets="${FUZZ_TARGETS:-image_file family_file ic_database settings_store link operation round_trip config_pages}"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DTESMAR_FUZZ=ON \
  ${CMAKE_ARGS:-}
cmake --build "$build"

# The file targets write a file per input: keep that in memory where possible.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
out="$build/fuzz"
mkdir -p "$out/artifacts" "$out/logs"
for t in $targets; do
  # New inputs go to the first folder; the committed inputs (earlier finds) and the made seeds are read.
  corpora=("$out/corpus/$t")
  [ -d "fuzz/corpus/$t" ] && corpora+=("fuzz/corpus/$t")
  corpora+=("$out/seeds/$t")
  mkdir -p "$out/corpus/$t"
  # A target's dictionary (fuzz/<target>.dict) holds the tokens of its formats.
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  echo "== fuzz_$t: ${seconds}s"
  if ! "$out/fuzz_$t" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 "${dict[@]}" \
      -artifact_prefix="$out/artifacts/$t-" "${corpora[@]}" > "$out/logs/$t.log" 2>&1; then
    tail -n 150 "$out/logs/$t.log"
    echo "fuzz_$t failed; the input is in $out/artifacts/"
    exit 1
  fi
  grep -E "^#[0-9]+[[:space:]]+DONE" "$out/logs/$t.log" || true
done
