#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: first the Release build,
# then the core tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
scripts/build.sh
scripts/build-sanitized.sh

status=0
echo "== Release build"
ctest --test-dir build --output-on-failure -j"$(nproc)" || status=1
echo "== Sanitized build (ASan + UBSan)"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir build-asan --output-on-failure -j"$(nproc)" || status=1
exit $status
