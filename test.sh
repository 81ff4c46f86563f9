#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: first the Release build,
# then the core tests again under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# tests of the threaded passes under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
scripts/build.sh
scripts/build-sanitized.sh
scripts/build-tsan.sh

status=0
echo "== Release build"
ctest --test-dir build --output-on-failure -j"$(nproc)" || status=1
echo "== Sanitized build (ASan + UBSan)"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir build-asan --output-on-failure -j"$(nproc)" || status=1
echo "== ThreadSanitizer build (the threaded passes)"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 QT_QPA_PLATFORM=offscreen \
  build-tsan/tests/kestrel_tests --gtest_brief=1 \
  --gtest_filter='WorkerPool*:Render/*On2Threads:Render/*On3Threads:DepthSortLimit.Crafted*:DeflateLevel9.ItsOwn*:TumbraChunks.*' \
  || status=1
exit $status
