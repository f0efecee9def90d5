#!/usr/bin/env bash
# Builds the native plug-in and the stand-in shell (installing the build tools when they
# are missing), then runs a VESK command on a real directory:
#
#   bash tools/try.sh [DIRECTORY] [VESK ARGUMENTS...]
#
# Default: the 10 largest files under /usr/share, as a table, then the array read back.
set -u
cd "$(dirname "$0")/.."
bash tools/install.sh --native || exit 1
# A build configured already keeps its options: its tests stay built.
if [ ! -f build/native/CMakeCache.txt ]; then
    cmake --preset native -DVESK_TESTS=OFF >/dev/null || exit 1
fi
cmake --build build/native -j2 >/dev/null || exit 1

dir=${1:-/usr/share}
shift || true
args=${*:-/V 10 LARGEST LIST /R}
# An argument that begins with "/" is a switch of the command, so an absolute Linux path
# is written with backslashes.
spec=$(printf '%s' "$(cd "$dir" && pwd)" | tr '/' '\\')
# Cells are read as the README advises, with the features that could change them off,
# on lines of their own, so every name comes back as stored.
batch=$(mktemp /tmp/vesk-try-XXXXXX.btm) || exit 1
trap 'rm -f "$batch"' EXIT
printf '%s\r\n' "vesk $args $spec" 'setdos /x-45678' \
    'echo first: %LIST[0,0] (%LIST[0,1] bytes, %LIST[0,2])' 'echo stored: %_vesk' \
    "echo newest: %@vesk[$spec,N,,1]" 'setdos /x+45678' > "$batch"
build/native/vshell "$batch"
