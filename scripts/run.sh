#!/bin/sh
# Installs what is needed, builds Wardlark and starts it.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh -DWARDLARK_TESTS=OFF -DWARDLARK_BENCHMARKS=OFF
./build/Wardlark --version
exec ./build/Wardlark "$@"
