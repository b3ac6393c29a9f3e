# Sourced by the tools: the Wine conventions every run shares (private prefix, Japanese locale,
# quiet Wine). Expects ROOT to be set to the project root.
BUILD_DIR=${MIRVOX_BUILD_DIR:-$ROOT/build}
export WINEPREFIX=${MIRVOX_WINEPREFIX:-$BUILD_DIR/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8

# Creates the prefix once; later runs reuse it.
prepare_wineprefix() {
    if [[ ! -f $WINEPREFIX/.mirvox-ready ]]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        # The dialogs are laid out for the proportional face; without this mapping Wine picks a
        # fixed-pitch one and labels clip.
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /t REG_SZ /d IPAPGothic /f \
            >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.mirvox-ready"
    fi
}
