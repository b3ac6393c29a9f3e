#!/usr/bin/env bash
# Runs the end-to-end driver in a Wine prefix of its own (made the first time), under a wineserver
# of its own on the caller's display, and ends that server afterwards.
# Usage: run_e2e.sh DRIVER_EXE MIRVOX_EXE PREFIX_DIR [driver arguments...]
set -euo pipefail
driver=$(realpath "$1") mirvox=$(realpath "$2")
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
MIRVOX_WINEPREFIX=$(realpath -m "$3")
shift 3
source "$ROOT/tools/wine-env.sh"

cleanup() {
    WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

prepare_wineprefix
# Wine's background services start here, with no terminal, rather than inside the driver.
wineserver -p >/dev/null 2>&1 || true
wine cmd /c exit >/dev/null 2>&1 </dev/null
MIRVOX_EXE=$(wine winepath -w "$mirvox" 2>/dev/null | tr -d '\r')
export MIRVOX_EXE
wine "$driver" "$@"
