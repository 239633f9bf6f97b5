#!/usr/bin/env bash
# Installs, builds and runs every test: unit and drawing tests, end-to-end tests in
# a real window under Xvfb, the unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer with a longer random-gesture soak, the morph engine's
# tests under ThreadSanitizer, and bounded runs of the fuzz targets of picture loading
# and of the net-file reader.
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

# The random-gesture soak at length under the sanitizers (fixed seeds, printed).
(cd build-sanitize && SOAK_EVENTS="${SOAK_EVENTS:-40000}" ./tests/unit_tests --gtest_filter='Soak.*')

# The morph engine's and the animation's tests under ThreadSanitizer: a composition
# runs on two threads, and frames are written by a thread of their own.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
      -DWORKSTATION_TSAN=ON
cmake --build build-tsan -j"$jobs" --target unit_tests
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ./tests/unit_tests \
    --gtest_filter='ComposeDigest.*:ComposeTest.*:WarpTest.*:CurvilinearTest.*:CrossingsTest.*:AnimationTest.*')

# Bounded runs of the fuzz targets (clang, libFuzzer).
tools/fuzz.sh pictures "${FUZZ_SECONDS:-60}"
tools/fuzz.sh netfiles "${FUZZ_SECONDS:-60}"

echo "All tests passed."
