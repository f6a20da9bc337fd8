#!/bin/sh
# Installs what is needed, builds Wardlark with its tests and runs the whole suite.
# Exits non-zero when anything fails.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh -DWARDLARK_TESTS=ON -DWARDLARK_BENCHMARKS=ON -DWARDLARK_WERROR=ON
cd build
ctest --output-on-failure -j "$(nproc)" --timeout 300
