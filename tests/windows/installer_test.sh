#!/usr/bin/env bash
# The installer in a fresh 64-bit prefix (run by wine-prefix.sh with): a silent install puts both
# DLLs where hosts look and lists its uninstaller; the installed 64-bit DLL passes the host-level
# checks; a silent uninstall leaves no file and no registry key of ours; /D= and /VST32DIR= choose
# the folders. Usage: installer_test.sh SETUP.exe DLL64 DLL32 MODULE_TESTS.exe
set -euo pipefail
setup=$1 dll64=$2 dll32=$3 module_tests=$4
drive=$WINEPREFIX/drive_c
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Fadecrest'
files() { find "$drive" -path "$drive/windows" -prune -o -path "$drive/users" -prune -o -print | sort; }
fail() { echo "installer_test: $*" >&2; exit 1; }

before=$(files)
wine "$setup" /S && wineserver -w
cmp "$dll64" "$drive/Program Files/Common Files/VST2/fadecrest.dll"
cmp "$dll32" "$drive/Program Files (x86)/Common Files/VST2/fadecrest.dll"
test -f "$drive/Program Files/Fadecrest/uninstall.exe"
grep -q 'MIT License' "$drive/Program Files/Fadecrest/LICENSE.txt" || fail "no licence beside the read-me"
wine reg query "$key" /reg:64 /v QuietUninstallString >/dev/null 2>&1 || fail "no uninstall entry"
FADECREST_MODULE='C:\Program Files\Common Files\VST2\fadecrest.dll' wine "$module_tests"

wine 'C:\Program Files\Fadecrest\uninstall.exe' /S && wineserver -w
! wine reg query "$key" /reg:64 >/dev/null 2>&1 || fail "the uninstall entry stayed"
[ "$(files)" = "$before" ] || fail "left behind: $(diff <(echo "$before") <(files) | grep '^>')"

wine "$setup" /S '/VST32DIR=C:\VST32' '/D=C:\VST64' && wineserver -w
cmp "$dll64" "$drive/VST64/fadecrest.dll"
cmp "$dll32" "$drive/VST32/fadecrest.dll"
echo "installer_test: 1 passed, 0 failed"
