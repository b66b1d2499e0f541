#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short while on
# its seed corpus (fuzz/corpus/<name>). Exits non-zero on the first finding.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}

bash scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZARVO_FUZZ=ON -DZARVO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for fuzzer in "$build_dir"/fuzz/*_fuzzer; do
  name=$(basename "$fuzzer" _fuzzer)
  mkdir -p "$work/$name"
  echo "== fuzzing $name for ${seconds}s"
  # New inputs go to a scratch corpus; findings are written to the build dir.
  "$fuzzer" -max_total_time="$seconds" -max_len=65536 -print_final_stats=0 \
    -artifact_prefix="$build_dir/fuzz/$name-" "$work/$name" "fuzz/corpus/$name" 2>&1 | tail -n 3
done
echo "== no findings"
