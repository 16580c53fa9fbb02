#!/usr/bin/env bash
# Builds Skarne and its default opening book (BUILD_DIR/skarne.boo) and runs every test.
# Installs the compiler, CMake, GoogleTest, the polyglot book the default book is built from
# (gnuchess-book) and what the book tool's tests compare against (pgn-extract's eco.pgn,
# polyglot) from the distribution's packages when they are missing.
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
[ -f /usr/share/pgn-extract/eco.pgn ] || missing+=(pgn-extract)
[ -x /usr/games/polyglot ] || missing+=(polyglot)
source scripts/install-packages.sh
source scripts/default-book.sh
[ -n "$(default_book_source)" ] || missing+=(gnuchess-book)
install_packages "${missing[@]}"

build="${BUILD_DIR:-build}"
jobs="$(nproc)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" "$@"
cmake --build "$build" -j"$jobs"
build_default_book "$build"
if [ -n "${TEST_REGEX:-}" ]; then
  ctest --test-dir "$build" --output-on-failure -j"$jobs" -R "$TEST_REGEX"
else
  ctest --test-dir "$build" --output-on-failure -j"$jobs"
fi
