# Sourced by the tools: the Wine conventions every run shares (private prefix, Japanese locale,
# quiet Wine). Expects ROOT to be set to the project root.
BUILD_DIR=${MIRVOX_BUILD_DIR:-$ROOT/build}
export WINEPREFIX=${MIRVOX_WINEPREFIX:-$BUILD_DIR/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8

# Debian's wine command starts its 32-bit loader whenever wine32 is installed. A kernel without
# 32-bit support cannot run that loader: there everything goes through the 64-bit one, and the checks
# that need a 32-bit program are left out (MIRVOX_NO_32BIT=1).
if [[ -x /usr/lib/wine/wine ]] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    export MIRVOX_NO_32BIT=1 WINELOADER=/usr/lib/wine/wine64
    mkdir -p "$BUILD_DIR/wine64-only"
    for name in wine wine-stable; do
        printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$BUILD_DIR/wine64-only/$name"
        chmod +x "$BUILD_DIR/wine64-only/$name"
    done
    export PATH=$BUILD_DIR/wine64-only:$PATH
fi

# Creates the prefix once; later runs reuse it. A prefix of an older set-up is made anew: one made
# before the 32-bit Wine was installed cannot start 32-bit programs. The settings below are prefix
# set-up for running under Wine on a display without a window manager, not something the program
# writes.
PREFIX_SETUP_VERSION=3
prepare_wineprefix() {
    local marker=$WINEPREFIX/.mirvox-ready
    [[ -f $marker && $(cat "$marker") == "$PREFIX_SETUP_VERSION" ]] && return 0
    if [[ -f $marker ]]; then
        wineserver -k >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
    fi
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    # The dialogs are laid out for the proportional face; without this mapping Wine picks a
    # fixed-pitch one and labels clip.
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /t REG_SZ /d IPAPGothic /f \
        >/dev/null 2>&1
    # Without a window manager, every managed window that closes waits two seconds for a state
    # change that never comes.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
    echo "$PREFIX_SETUP_VERSION" >"$marker"
}

# Starts an Xvfb of our own (WIDTHxHEIGHT, then any further Xvfb arguments), exports DISPLAY and sets
# XVFB_PID, by which the caller ends it.
start_private_display() {
    local size=$1 fifo number=""
    shift
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp "$@" 3>"$fifo" >/dev/null 2>&1 &
    XVFB_PID=$!
    read -r -t 30 number <"$fifo" || true
    rm -f "$fifo"
    [[ -n $number ]] || return 1
    export DISPLAY=":$number"
}
