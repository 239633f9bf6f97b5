#!/usr/bin/env bash
# Makes the README's picture of the renderer: docs/render-strip.png, five frames of
# the demo net over the faces drawn at four times their size (IMAGES/faces-4x.json),
# rendered at the pictures' own 1288 x 1440 pixels at t = 0, 0.25, 0.5, 0.75 and 1:
# above, each frame shrunk to a quarter; below, the left eye of each at full size.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh --tests
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target morphing-workstation
frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT
build/morphing-workstation render IMAGES/faces-4x.json --out "$frames" --frames 5 --force
convert "$frames"/frame_?.png -resize 25% +append "$frames/small.png"
convert "$frames"/frame_?.png -crop 322x180+330+520 +repage +append "$frames/eyes.png"
convert "$frames/small.png" "$frames/eyes.png" -append docs/render-strip.png
echo "wrote docs/render-strip.png"
