#!/usr/bin/env bash
# Wine for the Windows tests.
#
#   wine-prefix.sh template              makes the prefix template once (per Wine installation)
#   wine-prefix.sh run PROGRAM [ARG...]  runs a Windows program in a fresh clone of the template,
#                                        on a virtual display of its own
#   wine-prefix.sh with COMMAND [ARG...] runs a Unix program there (WINEPREFIX and DISPLAY set), a
#                                        host that starts Windows programs of its own, say
#
# WINEARCH chooses the prefix: win64 (the default; 64-bit programs, and 32-bit ones too where
# wine32 is installed) or win32 (32-bit only). Each has a template of its own.
#
# A new prefix costs about 10 s; a hard-link clone of a template costs about 50 ms, so every test
# gets a fresh one. Wine rewrites its .reg files in place, so those are real copies in each clone.
set -euo pipefail

export WINEARCH=${WINEARCH:-win64}
cache="${HOME}/.cache/fadecrest"
template="${cache}/wine-template-${WINEARCH}"
export WINEDEBUG=-all

# A template made while wine32 was missing has no 32-bit half, and one made with it expects it: the
# stamp names both the version and whether wine32 is there.
installation() {
  local wine32=without
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed" && wine32=with
  echo "$(wine --version) ${wine32} wine32"
}

make_template() {
  local stamp="${template}/fadecrest.stamp"
  local version
  version=$(installation)
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && return 0
  mkdir -p "$cache"
  exec 9>"${template}.lock"
  flock 9
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && return 0
  rm -rf "$template"
  echo "wine-prefix: making the ${WINEARCH} template prefix (${version})" >&2
  WINEPREFIX="$template" wineboot -i >/dev/null 2>&1
  # Without a window manager every DestroyWindow of a top-level window would wait 2 s for one.
  WINEPREFIX="$template" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  # Debian's Wine does not look in its own font folder (Symbol, Marlett, Tahoma ...).
  cp /usr/share/wine/fonts/* "${template}/drive_c/windows/Fonts/"
  WINEPREFIX="$template" wineserver -w
  echo "$version" >"$stamp"
}

work=""
xvfb_pid=""
# Whatever the program left running (a wineserver that already went is no failure).
cleanup() {
  [ -n "$work" ] && { WINEPREFIX="${work}/prefix" wineserver -k >/dev/null 2>&1 || true; }
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && { wait "$xvfb_pid" 2>/dev/null || true; }
  [ -n "$work" ] && rm -rf "$work"
}

with_prefix() {
  make_template
  work=$(mktemp -d)
  trap cleanup EXIT

  cp -al "$template" "${work}/prefix"
  for reg in "${work}"/prefix/*.reg; do
    cp --remove-destination "${template}/$(basename "$reg")" "$reg"
  done

  # A display of our own, never the desktop's (the tests move the pointer), at 24 bits, so pixels
  # read back are exactly what was drawn.
  exec 8<> <(:)
  Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  local number
  read -r -t 10 number <&8
  exec 8<&-
  export DISPLAY=":${number}"

  local status=0
  WINEPREFIX="${work}/prefix" "$@" || status=$?
  return "$status"
}

case "${1:-}" in
  template) make_template ;;
  run)
    shift
    with_prefix wine "$@"
    ;;
  with)
    shift
    with_prefix "$@"
    ;;
  *)
    echo "usage: $0 template | run PROGRAM [ARG...] | with COMMAND [ARG...]" >&2
    exit 2
    ;;
esac
