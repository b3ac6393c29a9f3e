#!/usr/bin/env bash
# The packaging check, run by CTest inside tools/test.sh (its display, prefix and wineserver): builds
# the package, checks the zip, installs silently, starts the installed program and sees its window,
# uninstalls silently and checks that nothing of it is left. Leaves the prefix as it found it.
set -euo pipefail
ROOT=${MIRVOX_ROOT:?}
: "${PACKAGE_PROBE:?}" "${PACKAGE_WORK:?}" "${WINEPREFIX:?}"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
pass() { echo "ok: $*"; }

rm -rf "$PACKAGE_WORK"
mkdir -p "$PACKAGE_WORK"
mapfile -t built < <(MIRVOX_DIST_DIR="$PACKAGE_WORK/dist" "$ROOT/tools/package.sh")
zip_path=${built[0]}
setup_path=${built[1]}
[[ $(basename "$zip_path") == Mirvox-1.1.0-win64.zip ]] || fail "zip named $zip_path"
[[ $(basename "$setup_path") == Mirvox-1.1.0-win64-setup.exe ]] || fail "installer named $setup_path"

# --- The zip ---
names=$(unzip -Z1 "$zip_path" | sort | tr '\n' ' ')
[[ $names == "Mirvox.exe read1st.htm " ]] || fail "zip holds: $names"
unzip -q "$zip_path" -d "$PACKAGE_WORK/unzipped"
file -b "$PACKAGE_WORK/unzipped/Mirvox.exe" | grep -q '^PE32+ executable (GUI) x86-64' ||
    fail "Mirvox.exe is $(file -b "$PACKAGE_WORK/unzipped/Mirvox.exe")"
cmp -s "$PACKAGE_WORK/unzipped/read1st.htm" "$ROOT/res/read1st.htm" || fail "read1st.htm differs from res/"
pass "zip holds Mirvox.exe (PE32+ x86-64) and read1st.htm"

# --- Install, start, uninstall ---
install_dir="$WINEPREFIX/drive_c/Program Files/Mirvox"
install_win='C:\Program Files\Mirvox'
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Mirvox.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Mirvox'
settings_key='HKCU\Software\Veldrane Products\Mirvox'
settings_backup="$PACKAGE_WORK/settings.reg"
# What an interrupted run may have left in this test prefix.
rm -rf "$install_dir"
rm -f "$shortcut"
wine reg delete "$uninstall_key" /f >/dev/null 2>&1 || true

# The installed program saves its settings under the same key as every other Mirvox.exe run in
# this prefix; they are put back as they were.
had_settings=0
wine reg query "$settings_key" >/dev/null 2>&1 && had_settings=1
((had_settings)) && wine reg export "$settings_key" "$(winepath -w "$settings_backup")" /y >/dev/null 2>&1
restore() {
    set +e
    rm -rf "$install_dir"
    rm -f "$shortcut"
    wine reg delete "$uninstall_key" /f >/dev/null 2>&1
    wine reg delete "$settings_key" /f >/dev/null 2>&1
    ((had_settings)) && wine reg import "$(winepath -w "$settings_backup")" >/dev/null 2>&1
    rm -rf "$PACKAGE_WORK"
}
trap restore EXIT

wine "$(winepath -w "$setup_path")" /S </dev/null >/dev/null 2>&1 || fail "the silent install failed"
for f in Mirvox.exe read1st.htm Uninstall.exe; do
    [[ -f $install_dir/$f ]] || fail "no $f after the install"
done
cmp -s "$install_dir/Mirvox.exe" "$PACKAGE_WORK/unzipped/Mirvox.exe" || fail "installed Mirvox.exe differs"
[[ -f $shortcut ]] || fail "no Start-menu shortcut"
uninstall_entry=$(wine reg query "$uninstall_key" 2>/dev/null | tr -d '\r')
for value in 'DisplayName +REG_SZ +Mirvox$' 'DisplayVersion +REG_SZ +1\.1\.0$' 'Publisher +REG_SZ +Veldrane$' \
    'UninstallString +REG_SZ +"C:\\Program Files\\Mirvox\\Uninstall.exe"$'; do
    grep -Eq "^ *$value" <<<"$uninstall_entry" || fail "uninstall entry lacks /$value/: $uninstall_entry"
done
pass "silent install: files, shortcut and uninstall entry"

probe_win=$(winepath -w "$PACKAGE_PROBE")
probe=$(wine "$probe_win" window "$install_win\\Mirvox.exe" 20000 </dev/null 2>&1 | tr -d '\r') ||
    fail "the installed program showed no window: $probe"
echo "$probe"
pass "the installed program starts, shows its window and closes"

# Run in place (_?=): otherwise the uninstaller copies itself to the temp folder and returns at once.
# In place it cannot delete itself or its folder; those two are left for us. "_?=" takes the rest of
# the command line unquoted, so the probe passes it verbatim.
wine "$probe_win" run "\"$install_win\\Uninstall.exe\" /S _?=$install_win" 30000 </dev/null >/dev/null 2>&1 ||
    fail "the silent uninstall failed"
left=$(ls -A "$install_dir" | tr '\n' ' ')
[[ $left == "Uninstall.exe " ]] || fail "the uninstall left: $left"
[[ ! -e $shortcut ]] || fail "the uninstall left the shortcut"
! wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "the uninstall left the uninstall entry"
wine reg query "$settings_key" >/dev/null 2>&1 || fail "the silent uninstall removed the settings"
pass "silent uninstall removes files, shortcut and entry, keeps the settings"
