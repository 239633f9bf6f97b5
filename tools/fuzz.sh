#!/usr/bin/env bash
# Fuzzes one reader of untrusted files for a bounded time:
#   tools/fuzz.sh pictures SECONDS   (picture loading: BMP, PNG, JPEG)
#   tools/fuzz.sh netfiles SECONDS   (the net-file reader)
# Builds the libFuzzer target with clang in build-fuzz (FUZZ_BUILD_DIR overrides),
# replays the kept corpus, the seeds and the regression inputs, then mutates them for
# SECONDS seconds. New inputs go to a temporary directory, never into the repository;
# a crashing input is left in FUZZ_ARTIFACTS (default build-fuzz/artifacts) and the
# script fails. Exit status 0 when no input crashed.
set -euo pipefail
cd "$(dirname "$0")/.."
usage="usage: tools/fuzz.sh pictures|netfiles SECONDS"
target="${1:?$usage}"
seconds="${2:?$usage}"
case "$target" in
    pictures)
        corpus=tests/fuzz/corpus seeds=tests/fuzz/seeds regressions=tests/fuzz/regressions
        dict=tests/fuzz/pictures.dict max_len=8192 ;;
    netfiles)
        corpus=tests/fuzz/netfiles/corpus seeds=tests/fuzz/netfiles/seeds
        regressions=tests/fuzz/netfiles/regressions dict=tests/fuzz/netfiles.dict max_len=8192 ;;
    *) echo "$usage" >&2; exit 2 ;;
esac
build="${FUZZ_BUILD_DIR:-build-fuzz}"
artifacts="${FUZZ_ARTIFACTS:-$build/artifacts}"

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=ON -DWORKSTATION_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target "fuzz_$target"
fuzzer="$build/tests/fuzz/fuzz_$target"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts"

# Every input that once crashed must now be read or refused cleanly.
inputs=("$regressions"/*)
if [[ -e "${inputs[0]}" ]]; then
    "$fuzzer" -runs=0 "${inputs[@]}" 2>"$work/regressions.log" ||
        { cat "$work/regressions.log"; exit 1; }
fi

"$fuzzer" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -dict="$dict" -artifact_prefix="$artifacts/" -print_final_stats=1 \
    "$work" "$corpus" "$seeds" 2>"$work/fuzz.log" || {
    tail -n 60 "$work/fuzz.log"
    echo "fuzz $target: a crashing input is in $artifacts" >&2
    exit 1
}
grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)' "$work/fuzz.log" || true
echo "fuzz $target: no crash in $seconds s"
