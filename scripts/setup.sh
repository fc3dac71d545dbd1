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
  libsndfile1-dev                   # audio files for fadecrest-render (MP3 and Opus through it)
  libsoxr-dev                       # resampling for formats that cannot hold a file's rate
  help2man                          # fadecrest-render's manual page, made from its --help
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
  lame                              # the render benchmark: MP3 encoding on its own
  python3-pil fonts-liberation      # drawing the editor pictures (resources/draw_pictures.py)
  fonts-urw-base35                  # a face with the Symbol glyphs ("Arial" is Liberation Sans)
  # The Windows DLLs: cross compilers for 64 and 32 bits (posix threads), zlib for them, the source
  # package of libpng, and the installer's compiler.
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 nsis
  lintian                           # the Debian package follows Debian's policy
  # Running them: Wine (64 and 32 bits) on a virtual display, real input through the X server,
  # screenshots, and faces with the metrics Windows programs expect ("Arial" is Liberation Sans;
  # Symbol and Marlett from Wine). LMMS is a real 32-bit Windows host under Wine (its VST server).
  wine wine64 wine32:i386 xvfb xauth xdotool x11-apps imagemagick fonts-wine
  lmms:i386 lmms-vst-server:i386
  # The editor in the tests: the server's count of each client's resources, and real toolkits' drag
  # sources (Qt 5 through Python, Tk with tkdnd).
  libxres-dev libxfixes-dev python3-pyqt5 tk tkdnd
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
  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  "${sudo_cmd[@]}" apt-get "${apt_options[@]}" update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "${apt_options[@]}" install -y -qq \
    --no-install-recommends "${missing[@]}"
fi
[ "${1:-all}" = build ] && exit 0

cache="${HOME}/.cache/fadecrest"
mkdir -p "$cache"

# --- libpng for MinGW, 64 and 32 bits, static, from Debian's source package ---
processors=()
for processor in x86_64 i686; do
  [ -f "${cache}/mingw-${processor}/libpng.stamp" ] || processors+=("$processor")
done
if [ ${#processors[@]} -gt 0 ]; then
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
  source_dir=$(find "$work" -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
  for processor in "${processors[@]}"; do
    echo "setup: building libpng ${fetched} for MinGW (${processor})"
    mingw_prefix="${cache}/mingw-${processor}"
    rm -rf "$mingw_prefix"
    cmake -S "$source_dir" -B "$work/build-${processor}" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-${processor}.cmake" -DCMAKE_INSTALL_PREFIX="$mingw_prefix" \
      -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF >/dev/null
    cmake --build "$work/build-${processor}" -j2 >/dev/null
    cmake --install "$work/build-${processor}" >/dev/null
    echo "$fetched" >"${mingw_prefix}/libpng.stamp"
  done
fi

# --- the Wine prefixes the Windows tests clone, one for each architecture ---
WINEARCH=win64 scripts/wine-prefix.sh template >/dev/null
WINEARCH=win32 scripts/wine-prefix.sh template >/dev/null
