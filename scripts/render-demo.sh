#!/usr/bin/env bash
# Builds the plug-in and its command-line host, then renders a preview copy: of the file given,
# or of a musical test signal the host generates when none is given.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target fadecrest fadecrest-render
mkdir -p out
if [ $# -eq 0 ]; then
  # The demo's own output: a second run replaces it.
  build/release/fadecrest-render -o out/fadecrest-preview.wav --force
else
  build/release/fadecrest-render "$@"
fi
