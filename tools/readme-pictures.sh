#!/usr/bin/env bash
# Makes the README's pictures with the real program: docs/workstation.png (the
# window with the demo net IMAGES/faces.json over the default pictures, morphing at
# 0.5) and docs/morph-strip.png (the animation's frames at 0.02, 0.25, 0.5, 0.75 and 1).
# Runs the workstation under its own Xvfb, driven by xdotool.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh --tests
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target morphing-workstation
python3 tools/readme_pictures.py build/morphing-workstation docs
echo "wrote docs/workstation.png and docs/morph-strip.png"
