#!/usr/bin/env bash
# Builds both trees: the native core with its tests, and the Windows program
# with its Win32 tests (MinGW-w64).
set -euo pipefail
source "$(dirname "$0")/env.sh"
jobs=${VELLO_JOBS:-$(nproc)}
cmake -S "$VELLO_ROOT" -B "$VELLO_BUILD/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$VELLO_CXX_FLAGS" -DBUILD_TESTING=ON -DVELLO_TESTS_REQUIRED=ON \
  ${VELLO_NATIVE_CMAKE_ARGS:-} >/dev/null
cmake --build "$VELLO_BUILD/native" -j "$jobs"
cmake -S "$VELLO_ROOT" -B "$VELLO_BUILD/win" -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$VELLO_CXX_FLAGS" -DBUILD_TESTING=ON -DVELLO_TESTS_REQUIRED=ON \
  -DCMAKE_TOOLCHAIN_FILE="$VELLO_ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$VELLO_BUILD/win" -j "$jobs"
