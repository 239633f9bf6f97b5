#!/usr/bin/env bash
# Installs, builds and runs every test: unit and drawing tests, end-to-end tests in
# a real window under Xvfb, then the unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh --tests
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
      -DWORKSTATION_SANITIZE=ON
cmake --build build-sanitize -j"$jobs" --target unit_tests
(cd build-sanitize && ctest --output-on-failure -j"$jobs" -L unit)
