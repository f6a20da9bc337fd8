#!/bin/sh
# Configures and builds Wardlark into ./build (or the folder in $WARDLARK_BUILD_DIR).
set -eu
cd "$(dirname "$0")/.."
BUILD_DIR="${WARDLARK_BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
