#!/usr/bin/env bash
# Configures (once) and builds the core and its tests with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ (no window, no benchmarks), with the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build-asan/CMakeCache.txt ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DKESTREL_SANITIZE=ON -DKESTREL_FUZZ=ON \
    -DKESTREL_BUILD_APP=OFF -DKESTREL_BUILD_BENCH=OFF >/dev/null
fi
cmake --build build-asan
