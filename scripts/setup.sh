#!/usr/bin/env bash
# Installs every Debian package Fadecrest needs to build, test and run. Quick when all are present.
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config
  clang libclang-rt-dev             # libFuzzer and the sanitizer runtimes for the fuzz targets
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev                   # audio files for fadecrest-render
  ardour                            # a real host: its scanner indexes the module, its session tools run it
  sox                               # measuring rendered files by hand; the render benchmark's reference
  ffmpeg hyperfine                  # the render benchmark (bench/render_bench.sh): the other reference, timing
  python3-pil fonts-liberation      # drawing the editor pictures (resources/draw_pictures.py)
  libpng-dev                        # decoding the PNG resources
  libfreetype-dev libfontconfig-dev # text: glyphs through FreeType, faces found by fontconfig
  fonts-urw-base35                  # a face with the Symbol glyphs ("Arial" is Liberation Sans)
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
