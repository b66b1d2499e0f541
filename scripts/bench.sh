#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs them all: the in-process figures
# (Google Benchmark, bench/search_benchmark.cpp) and the whole-process ones on
# an Xvfb of their own beside fzf and rofi (bench/whole_process.py). Prints
# the figures as Markdown with the targets and the machine they came from.
#   scripts/bench.sh [--quick] [--no-leak-check] [--update-docs]
#     --quick          fewer runs and cycles, for a try
#     --no-leak-check  skip the leak check (it builds zarvo with AddressSanitizer)
#     --update-docs    also put the figures into docs/PERFORMANCE.md
# Not part of the tests: the figures depend on the machine and its load.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BENCH_BUILD_DIR:-build-bench}
asan_dir=${BENCH_ASAN_BUILD_DIR:-build-bench-asan}
quick=()
update_docs=false
leak_check=true
for arg in "$@"; do
  case $arg in
  --quick) quick=(--quick) ;;
  --no-leak-check) leak_check=false ;;
  --update-docs) update_docs=true ;;
  *) echo "usage: scripts/bench.sh [--quick] [--no-leak-check] [--update-docs]" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh
# What the benchmarks need beyond the build and the tests: the benchmark
# library, the peers they are measured against, hyperfine and GNU time, and
# the X library of the Python script that watches the screen.
extra=(libbenchmark-dev fzf rofi hyperfine time python3-xlib)
missing=()
for p in "${extra[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}" >&2
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >&2
fi

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARVO_BENCH=ON \
  -DZARVO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target zarvo zarvo_benchmarks zarvo_bench_store

results="$build_dir/bench-results"
mkdir -p "$results"
echo "== in process (Google Benchmark)" >&2
min_time=()
[ ${#quick[@]} -gt 0 ] && min_time=(--benchmark_min_time=0.1)
# The application's diagnostic lines go to stderr; the table to stdout.
"$build_dir/bench/zarvo_benchmarks" "${min_time[@]}" --benchmark_out="$results/inprocess.json" \
  --benchmark_out_format=json 2>/dev/null >&2
echo "== whole processes" >&2
# The system's Python: the X library is a Debian package.
/usr/bin/python3 bench/whole_process.py "${quick[@]}" --zarvo "$build_dir/zarvo" \
  --store-tool "$build_dir/bench/zarvo_bench_store" --json "$results/whole.json" >/dev/null
leak=()
if $leak_check; then
  echo "== leak check (LeakSanitizer)" >&2
  cmake -S . -B "$asan_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARVO_SANITIZE=ON \
    -DZARVO_BUILD_TESTS=OFF >/dev/null
  cmake --build "$asan_dir" --target zarvo
  /usr/bin/python3 bench/whole_process.py "${quick[@]}" --zarvo "$build_dir/zarvo" \
    --store-tool "$build_dir/bench/zarvo_bench_store" --json "$results/leak.json" \
    --leak-check "$asan_dir/zarvo" >/dev/null
  leak=(--leak "$results/leak.json")
fi
/usr/bin/python3 bench/report.py --inprocess "$results/inprocess.json" \
  --whole "$results/whole.json" "${leak[@]}" >"$results/figures.md"
cat "$results/figures.md"
if $update_docs; then
  /usr/bin/python3 bench/report.py --inprocess "$results/inprocess.json" \
    --whole "$results/whole.json" "${leak[@]}" --into docs/PERFORMANCE.md
  echo "== figures written into docs/PERFORMANCE.md" >&2
fi
