#!/usr/bin/env bash
# Installs the Debian packages Fadecrest needs, and builds what Debian has no package for.
#
#   setup.sh build   what building the plug-in and fadecrest-render needs, and rendering with them
#   setup.sh [all]   everything the tests need too: the packages, libpng for MinGW and the Wine prefix
#                    the Windows tests clone
#
# Quick when all is there: the built pieces are kept under ~/.cache/fadecrest, outside the checkout.
set -euo pipefail
cd "$(dirname "$0")/.."

# What building the plug-in and its command-line host needs, and rendering with them.
build_packages=(
  build-essential g++ cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev  # the release configuration builds tests and benchmarks
  libsndfile1-dev                   # audio files for fadecrest-render
  libpng-dev                        # decoding the PNG resources
  libzstd-dev                       # the knob strip, carried packed in the Linux module
  libfreetype-dev libfontconfig-dev # text: glyphs through FreeType, faces found by fontconfig
  libx11-dev libxext-dev            # the editor on Linux hosts: Xlib with shared-memory pictures
  dpkg-dev file                     # the Debian package: its dependencies read from the binaries
)

# What the tests, the other builds and the benchmarks need on top.
test_packages=(
  clang libclang-rt-dev             # libFuzzer and the sanitizer runtimes for the fuzz targets
  clang-format                      # the tree follows .clang-format
  clang-22 libclang-rt-22-dev       # RealtimeSanitizer for the audio thread's entries
  ardour                            # a real host: its scanner indexes the module, its session tools run it
  sox                               # measuring rendered files by hand; the render benchmark's reference
  ffmpeg hyperfine                  # the render benchmark (bench/render_bench.sh): the other reference, timing
  python3-pil fonts-liberation      # drawing the editor pictures (resources/draw_pictures.py)
  fonts-urw-base35                  # a face with the Symbol glyphs ("Arial" is Liberation Sans)
  # The Windows DLL: cross compilers (posix threads), zlib for them, and the source package of libpng.
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  lintian                           # the Debian package follows Debian's policy
  # Running it: Wine on a virtual display, real input through the X server, screenshots, and faces
  # with the metrics Windows programs expect ("Arial" is Liberation Sans; Symbol and Marlett from Wine).
  wine wine64 xvfb xauth xdotool x11-apps imagemagick fonts-wine
  # The editor in the tests: the server's count of each client's resources, and real toolkits' drag
  # sources (Qt 5 through Python, Tk with tkdnd).
  libxres-dev python3-pyqt5 tk tkdnd
)

case "${1:-all}" in
  build) packages=("${build_packages[@]}") ;;
  all) packages=("${build_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 [build | all]" >&2
    exit 2
    ;;
esac

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

# Another install running at the same time (an unattended upgrade) is waited for, not failed on.
apt_options=(-o DPkg::Lock::Timeout=600)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get "${apt_options[@]}" update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "${apt_options[@]}" install -y -qq \
    --no-install-recommends "${missing[@]}"
fi
[ "${1:-all}" = build ] && exit 0

cache="${HOME}/.cache/fadecrest"
mingw_prefix="${cache}/mingw-x86_64"
mkdir -p "$cache"

# --- libpng for MinGW, static, from Debian's source package ---
if [ ! -f "${mingw_prefix}/libpng.stamp" ]; then
  sources=/etc/apt/sources.list.d/fadecrest-src.sources
  if ! apt-cache showsrc libpng1.6 2>/dev/null | grep '^Version:' >/dev/null; then
    echo "setup: adding the Debian source archive"
    "${sudo_cmd[@]}" tee "$sources" >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    "${sudo_cmd[@]}" apt-get update -qq
  fi
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # The newest version listed is not always in a pool that can be fetched: take the newest that can.
  fetched=""
  for version in $(apt-cache showsrc libpng1.6 | awk '/^Version:/ {print $2}' | sort -V -r -u); do
    if (cd "$work" && apt-get source -qq "libpng1.6=${version}" >/dev/null 2>&1); then
      fetched=$version
      break
    fi
    rm -rf "${work:?}"/*
  done
  [ -n "$fetched" ] || { echo "setup: no version of libpng1.6 could be fetched" >&2; exit 1; }
  echo "setup: building libpng ${fetched} for MinGW"
  source_dir=$(find "$work" -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
  rm -rf "$mingw_prefix"
  cmake -S "$source_dir" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$mingw_prefix" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF >/dev/null
  cmake --build "$work/build" -j2 >/dev/null
  cmake --install "$work/build" >/dev/null
  echo "$fetched" >"${mingw_prefix}/libpng.stamp"
fi

# --- the Wine prefix every Windows test clones ---
scripts/wine-prefix.sh template >/dev/null
