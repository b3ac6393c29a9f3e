#!/usr/bin/env bash
# Builds the release: a stripped Release Mirvox.exe and 64-bit codec driver (cross build in
# build/release) and 32-bit codec driver (build/release32), then dist/Mirvox-<version>-win64.zip
# (Mirvox.exe and read1st.htm at the top level, the drivers as x64/ and x86/mirvox_zmbv.dll) and
# dist/Mirvox-<version>-win64-setup.exe (NSIS, tools/installer/mirvox.nsi). Prints the two paths.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${MIRVOX_BUILD_DIR:-$ROOT/build}
DIST_DIR=${MIRVOX_DIST_DIR:-$ROOT/dist}

"$ROOT/tools/install-deps.sh"

version=$(sed -n 's/^ *project(Mirvox VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt" | head -1)
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "package.sh: no version in CMakeLists.txt" >&2; exit 1; }
base="Mirvox-$version-win64"

release=$BUILD_DIR/release release32=$BUILD_DIR/release32
LC_ALL=C cmake -S "$ROOT" -B "$release" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
LC_ALL=C cmake --build "$release" -j "$(nproc)" --target Mirvox mirvox_zmbv >/dev/null
LC_ALL=C cmake -S "$ROOT" -B "$release32" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DMIRVOX_CODEC_ONLY=ON >/dev/null
LC_ALL=C cmake --build "$release32" -j "$(nproc)" --target mirvox_zmbv >/dev/null

stage=$release/stage
files=(Mirvox.exe read1st.htm x64/mirvox_zmbv.dll x86/mirvox_zmbv.dll)
rm -rf "$stage"
mkdir -p "$stage/x64" "$stage/x86" "$DIST_DIR"
x86_64-w64-mingw32-strip -o "$stage/Mirvox.exe" "$release/Mirvox.exe"
x86_64-w64-mingw32-strip -o "$stage/x64/mirvox_zmbv.dll" "$release/codec/mirvox_zmbv.dll"
i686-w64-mingw32-strip -o "$stage/x86/mirvox_zmbv.dll" "$release32/codec/mirvox_zmbv.dll"
cp "$ROOT/res/read1st.htm" "$stage/read1st.htm"
# The files carry the last commit's time, so that the same sources give the same zip.
stamp=$(git -C "$ROOT" log -1 --format=%cI 2>/dev/null || date -Iseconds)
(cd "$stage" && touch -d "$stamp" "${files[@]}")

zip_path=$DIST_DIR/$base.zip
rm -f "$zip_path"
(cd "$stage" && TZ=UTC zip -q -X -D "$zip_path" "${files[@]}")

setup_path=$DIST_DIR/$base-setup.exe
rm -f "$setup_path"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSRCDIR="$stage" -DICON="$ROOT/res/mirvox.ico" \
    -DOUTFILE="$setup_path" "$ROOT/tools/installer/mirvox.nsi" >/dev/null

echo "$zip_path"
echo "$setup_path"
