#!/usr/bin/env bash
# Runs the end-to-end driver in a Wine prefix and under a wineserver of its own (ended afterwards), on
# the caller's display. With --package it checks the release package instead: the zip's contents, a
# silent install and uninstall beside another program's ZMBV driver, then a silent install, the
# installed program and codec (through the driver), a silent uninstall.
# Usage: run_e2e.sh [--package] DRIVER_EXE MIRVOX_EXE PREFIX_DIR [driver arguments...]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
[[ $1 == --package ]] && package=1 && shift || package=0
driver=$(realpath "$1") mirvox=$(realpath "$2") MIRVOX_WINEPREFIX=$(realpath -m "$3") && shift 3
source "$ROOT/tools/wine-env.sh"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
prepare_wineprefix
# Wine's background services start here, with no terminal, rather than inside the driver.
wineserver -p >/dev/null 2>&1 || true
wine cmd /c exit >/dev/null 2>&1 </dev/null
((package)) || { MIRVOX_EXE=$(winepath -w "$mirvox" | tr -d '\r') wine "$driver" "$@"; exit; }
fail() { echo "package check: $*" >&2; exit 1; }
mapfile -t built < <(MIRVOX_DIST_DIR="$(dirname "$driver")/dist" "$ROOT/tools/package.sh")
zip=${built[0]} version=$(basename "${built[1]}" | sed 's/^Mirvox-\(.*\)-win64-setup\.exe$/\1/')
dir="$WINEPREFIX/drive_c/Program Files/Mirvox" entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Mirvox'
link="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Mirvox.lnk"
drivers='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32' sys=$WINEPREFIX/drive_c/windows
[[ $(unzip -Z1 "$zip" | LC_ALL=C sort | xargs) == "Mirvox.exe read1st.htm x64/mirvox_zmbv.dll x86/mirvox_zmbv.dll" ]] ||
    fail "the zip holds $(unzip -Z1 "$zip")"
unzip -p "$zip" Mirvox.exe | file -b - | grep -q '^PE32+ executable (GUI) x86-64' || fail "no 64-bit GUI program"
unzip -p "$zip" x64/mirvox_zmbv.dll | file -b - | grep -q '^PE32+ executable (DLL) .* x86-64' || fail "no 64-bit DLL"
unzip -p "$zip" x86/mirvox_zmbv.dll | file -b - | grep -q '^PE32 executable (DLL) .* Intel 80386' || fail "no 32-bit DLL"
# Both registry views of the drivers' list; reg.exe is a 32-bit program once wine32 is installed.
# Only the values count: a fresh prefix may have no such key, which the installer then creates.
drivers32() { for view in 64 32; do echo "$view:"; wine reg query "$drivers" /reg:$view 2>/dev/null | grep REG_ || :; done; }
uninstall() {
    # The uninstaller runs a copy of itself from the temporary folder and returns at once.
    wine "$dir/Uninstall.exe" /S || fail "the uninstaller did not start"
    for ((i = 0; i < 300; i++)); do
        [[ -e $dir || -e $link ]] || wine reg query "$entry" /reg:64 &>/dev/null || break
        sleep 0.2
    done
    ((i < 300)) || fail "the uninstall left $(ls -d "$dir" "$link" 2>/dev/null) $(wine reg query "$entry" /reg:64 2>/dev/null)"
}
# A run that stopped half-way left its install behind.
[[ ! -e $dir/Uninstall.exe ]] || uninstall
before=$(drivers32)
# Another program's ZMBV driver: install and uninstall leave it as it is and add no driver of ours.
for view in 64 32; do wine reg add "$drivers" /v vidc.zmbv /d other.dll /f /reg:$view >/dev/null; done
other=$(drivers32)
wine "${built[1]}" /S || fail "the silent install failed"
[[ $(drivers32) == "$other" && ! -e $sys/system32/mirvox_zmbv.dll && ! -e $sys/syswow64/mirvox_zmbv.dll ]] ||
    fail "the install replaced another program's driver: $(drivers32)"
uninstall
[[ $(drivers32) == "$other" ]] || fail "the uninstall removed another program's driver: $(drivers32)"
for view in 64 32; do wine reg delete "$drivers" /v vidc.zmbv /f /reg:$view >/dev/null; done
wine "${built[1]}" /S || fail "the silent install failed"
[[ $(LC_ALL=C ls "$dir" | xargs) == "Mirvox.exe Uninstall.exe read1st.htm" && -f $link ]] || fail "installed: $(ls "$dir")"
unzip -p "$zip" Mirvox.exe | cmp - "$dir/Mirvox.exe" && cmp "$dir/read1st.htm" "$ROOT/res/read1st.htm" &&
    unzip -p "$zip" x64/mirvox_zmbv.dll | cmp - "$sys/system32/mirvox_zmbv.dll" &&
    unzip -p "$zip" x86/mirvox_zmbv.dll | cmp - "$sys/syswow64/mirvox_zmbv.dll" || fail "files differ"
values=$(wine reg query "$entry" /reg:64 | tr -d '\r' | grep -E '^ +(DisplayName|DisplayVersion|Publisher|UninstallString) ' || :)
[[ $(tr -s ' ' <<<"$values" | tr '\n' '|') == " DisplayName REG_SZ Mirvox| DisplayVersion REG_SZ $version| Publisher REG_SZ \
Veldrane| UninstallString REG_SZ \"C:\\Program Files\\Mirvox\\Uninstall.exe\"|" ]] || fail "uninstall entry: $values"
MIRVOX_EXE='C:\Program Files\Mirvox\Mirvox.exe' wine "$driver" "$@" || fail "the installed program"
uninstall
after=$(drivers32) dlls=$(ls "$sys"/sys*/mirvox_zmbv.dll 2>/dev/null || :)
[[ $after == "$before" && -z $dlls ]] || fail "the uninstall left the codec: [$after] [$dlls], before: [$before]"
wine reg query 'HKCU\Software\Veldrane Products\Mirvox' &>/dev/null || fail "a silent uninstall removed the settings"
