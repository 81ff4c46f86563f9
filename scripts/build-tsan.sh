#!/usr/bin/env bash
# Configures (once) and builds the core tests and kestrel-render with clang and ThreadSanitizer
# in build-tsan/ (no window, no benchmarks, no fuzz targets): the threaded passes are run there.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build-tsan/CMakeCache.txt ]; then
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DKESTREL_TSAN=ON \
    -DKESTREL_BUILD_APP=OFF -DKESTREL_BUILD_BENCH=OFF >/dev/null
fi
cmake --build build-tsan --target kestrel_tests kestrel-render
