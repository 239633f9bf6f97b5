#!/usr/bin/env bash
# Installs, builds and starts the workstation on the pictures in IMAGES/.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build build -j"$(nproc)" --target morphing-workstation
exec ./build/morphing-workstation
