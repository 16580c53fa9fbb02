#!/usr/bin/env bash
# Builds Skarne and runs every test. Installs the compiler, CMake and GoogleTest from the
# distribution's packages when they are missing.
#   BUILD_DIR   build directory (default: build)
#   BUILD_TYPE  CMake build type (default: Release)
#   TEST_REGEX  run only the tests whose names match (ctest -R)
# Further arguments go to the CMake configure step (e.g. -DSKARNE_SANITIZE=address,undefined).
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v make >/dev/null 2>&1 || missing+=(make)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || missing+=(libgmock-dev)
source scripts/install-packages.sh
install_packages "${missing[@]}"

build="${BUILD_DIR:-build}"
jobs="$(nproc)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" "$@"
cmake --build "$build" -j"$jobs"
if [ -n "${TEST_REGEX:-}" ]; then
  ctest --test-dir "$build" --output-on-failure -j"$jobs" -R "$TEST_REGEX"
else
  ctest --test-dir "$build" --output-on-failure -j"$jobs"
fi
