# Sourced by the bench/run_*.sh scripts that build one benchmark program in
# Release: builds it, sets $bench to its path and prints the machine line.
# BUILD_DIR (default build-release) and JOBS (default 2) override the defaults.
build_bench() {
  cd "$(dirname "${BASH_SOURCE[0]}")/.."
  BUILD_DIR=${BUILD_DIR:-build-release}
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DZORVA_BUILD_BENCH=ON >/dev/null
  cmake --build "$BUILD_DIR" --target "$1" -j"${JOBS:-2}" >/dev/null
  bench="$BUILD_DIR/bench/$1"
  echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
      "$(nproc) CPUs, $(uname -sr), load average $(cut -d' ' -f1-3 /proc/loadavg)," \
      "temporary directory on $(df --output=source "${TMPDIR:-/tmp}" | tail -1)"
  echo "command: $bench"
}
