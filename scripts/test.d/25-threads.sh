#!/usr/bin/env bash
# Two threads walking two hives through vesk/hive.hpp, built with ThreadSanitizer: the
# header's lock must keep the library's process-wide state to one thread at a time.
# Builds only the C++ interface's tests, in build/tsan.
set -euo pipefail
cd "${VESK_ROOT:-$(dirname "$0")/../..}"
build=build/tsan
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVESK_SANITIZE=thread \
  -DVESK_BUILD_TOOLS=OFF -DVESK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 --target vesk_cpp_tests >/dev/null
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  timeout 300 "$build/tests/vesk_cpp_tests" --gtest_filter='HiveHppTest.TwoThreads*'
