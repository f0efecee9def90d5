#!/usr/bin/env bash
# Installs the Debian packages the builds and the tests need, skipping those installed
# already (a machine that has them all runs no apt at all):
#
#   bash tools/install.sh            everything tools/test.sh needs
#   bash tools/install.sh --quick    what tools/test.sh --quick needs
#   bash tools/install.sh --native   what tools/try.sh needs (the native build)
#
# As root, or through sudo (VESK_SUDO names another command, empty for none); apt itself
# never asks. The package index is updated up to three times; an index that still fails
# is named in apt's own words and the install goes on with the lists at hand. An install
# apt cannot resolve is tried once more pinned to the machine's own release
# (VERSION_CODENAME of /etc/os-release, or of the file VESK_OS_RELEASE names): a mirror
# caught mid-sync can give the amd64 half of a Multi-Arch pair the security update and
# the i386 half only the release, and apt then finds "held broken packages".
# Exits 1 naming the packages it could not install and apt's last error lines; every log
# it names is kept.
set -u
case "${1:-}" in
    "") which=full ;;
    --quick) which=quick ;;
    --native) which=native ;;
    *) sed -n '2,8s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
esac

want=(cmake ninja-build g++)
[ $which != native ] && want+=(libgtest-dev libgmock-dev python3 bsdutils binutils util-linux)
[ $which = full ] && want+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
                           binutils-mingw-w64-x86-64 wine wine64 wine32:i386 clang
                           libclang-rt-14-dev gcc-multilib)
need=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
        need+=("$p")
done
[ ${#need[@]} = 0 ] && exit 0

if [ "$(id -u)" = 0 ]; then SUDO=; else SUDO=${VESK_SUDO-sudo}; fi
apt() {  # log, apt-get arguments...: apt-get with its whole output in the log
    local log=$1; shift
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -q -y "$@" >"$log" 2>&1
}
said() {  # log: apt's error lines in it, else its last lines
    { grep -E '^(E|W): ' "$1" || tail -n 3 "$1"; } | tail -n 6 | sed 's/^/  /'
}
LOGS=$(mktemp -d /tmp/vesk-install-XXXXXX) || exit 1
echo "install: ${need[*]}"

if printf '%s\n' "${need[@]}" | grep -q ':i386$' &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386 ||
        { echo "install: could not add the architecture i386 for ${need[*]}"; exit 1; }
fi

# A mirror in the middle of a sync serves an index that does not match its Release file;
# a few seconds later it may.
for wait in 5 15 0; do
    apt "$LOGS/update.log" update && break
    if [ $wait = 0 ]; then
        echo "install: the package index is not complete; going on with the lists at hand:"
        said "$LOGS/update.log"
        break
    fi
    sleep $wait
done

options=(--no-install-recommends -o Dpkg::Options::=--force-confdef
         -o Dpkg::Options::=--force-confold)
# Nothing points to the logs of an install that succeeded.
apt "$LOGS/install.log" install "${options[@]}" "${need[@]}" && { rm -rf "$LOGS"; exit 0; }
last=$LOGS/install.log
release=$(. "${VESK_OS_RELEASE:-/etc/os-release}" 2>/dev/null && echo "${VERSION_CODENAME:-}")
if [ -n "$release" ]; then
    echo "install: apt could not install them as they stand:"
    said "$last"
    echo "install: trying again with every package from the release $release"
    apt "$LOGS/install-$release.log" install -t "$release" "${options[@]}" "${need[@]}" &&
        { rm -rf "$LOGS"; exit 0; }
    last=$LOGS/install-$release.log
fi
echo "install: could not install ${need[*]}"
said "$last"
echo "install: apt's whole output: $last"
exit 1
