#!/usr/bin/env bash
# Fuzzes the picture-loading path for a bounded time: tools/fuzz-pictures.sh SECONDS
# Builds the libFuzzer target with clang in build-fuzz (FUZZ_BUILD_DIR overrides),
# replays the kept corpus, the seeds and the regression inputs, then mutates them for
# SECONDS seconds. New inputs go to a temporary directory, never into the repository;
# a crashing input is left in FUZZ_ARTIFACTS (default build-fuzz/artifacts) and the
# script fails. Exit status 0 when no input crashed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:?usage: tools/fuzz-pictures.sh SECONDS}"
build="${FUZZ_BUILD_DIR:-build-fuzz}"
artifacts="${FUZZ_ARTIFACTS:-$build/artifacts}"

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=ON -DWORKSTATION_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_pictures
fuzzer="$build/tests/fuzz/fuzz_pictures"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts"

# Every input that once crashed must now load or be refused cleanly.
regressions=(tests/fuzz/regressions/*)
if [[ -e "${regressions[0]}" ]]; then
    "$fuzzer" -runs=0 "${regressions[@]}" 2>"$work/regressions.log" ||
        { cat "$work/regressions.log"; exit 1; }
fi

"$fuzzer" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
    -dict=tests/fuzz/pictures.dict -artifact_prefix="$artifacts/" -print_final_stats=1 \
    "$work" tests/fuzz/corpus tests/fuzz/seeds 2>"$work/fuzz.log" || {
    tail -n 60 "$work/fuzz.log"
    echo "fuzz-pictures: a crashing input is in $artifacts" >&2
    exit 1
}
grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)' "$work/fuzz.log" || true
echo "fuzz-pictures: no crash in $seconds s"
