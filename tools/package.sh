#!/usr/bin/env bash
# Builds the release: a stripped Release Mirvox.exe (cross build in build/release), then
# dist/Mirvox-<version>-win64.zip (Mirvox.exe and read1st.htm at the top level) and
# dist/Mirvox-<version>-win64-setup.exe (NSIS, tools/installer/mirvox.nsi). Prints the two paths.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${MIRVOX_BUILD_DIR:-$ROOT/build}
DIST_DIR=${MIRVOX_DIST_DIR:-$ROOT/dist}

"$ROOT/tools/install-deps.sh"

version=$(sed -n 's/^ *project(Mirvox VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt" | head -1)
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "package.sh: no version in CMakeLists.txt" >&2; exit 1; }
base="Mirvox-$version-win64"

release=$BUILD_DIR/release
LC_ALL=C cmake -S "$ROOT" -B "$release" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
LC_ALL=C cmake --build "$release" -j "$(nproc)" --target Mirvox >/dev/null

stage=$release/stage
rm -rf "$stage"
mkdir -p "$stage" "$DIST_DIR"
x86_64-w64-mingw32-strip -o "$stage/Mirvox.exe" "$release/Mirvox.exe"
cp "$ROOT/res/read1st.htm" "$stage/read1st.htm"
# The files carry the last commit's time, so that the same sources give the same zip.
stamp=$(git -C "$ROOT" log -1 --format=%cI 2>/dev/null || date -Iseconds)
touch -d "$stamp" "$stage/Mirvox.exe" "$stage/read1st.htm"

zip_path=$DIST_DIR/$base.zip
rm -f "$zip_path"
(cd "$stage" && TZ=UTC zip -q -X "$zip_path" Mirvox.exe read1st.htm)

setup_path=$DIST_DIR/$base-setup.exe
rm -f "$setup_path"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSRCDIR="$stage" -DICON="$ROOT/res/mirvox.ico" \
    -DOUTFILE="$setup_path" "$ROOT/tools/installer/mirvox.nsi" >/dev/null

echo "$zip_path"
echo "$setup_path"
