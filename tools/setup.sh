#!/usr/bin/env bash
# Installs what the workstation needs from Debian's packages, skipping what is
# already installed. With --tests, also what the tests, benchmarks and fuzzing need.
# This is the one place that names the dependencies.
set -euo pipefail

run_packages=(build-essential cmake pkg-config freeglut3-dev libglu1-mesa-dev libgl-dev
              libsoil-dev libpng-dev libjpeg62-turbo-dev libexif-dev libcli11-dev
              nlohmann-json3-dev)
test_packages=(libgtest-dev libbenchmark-dev xvfb xdotool x11-apps imagemagick python3
               clang libclang-rt-14-dev x11-utils ffmpeg locales)

packages=("${run_packages[@]}")
if [[ "${1:-}" == "--tests" ]]; then packages+=("${test_packages[@]}"); fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The net-file tests also write and read under a locale whose decimal mark is a comma.
if [[ "${1:-}" == "--tests" ]] && ! locale -a | grep -x 'de_DE.utf8' >/dev/null; then
    echo "Generating the locale de_DE.UTF-8"
    $sudo localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
