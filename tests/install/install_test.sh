#!/usr/bin/env bash
# tools/install.sh against fake apt-get, dpkg, dpkg-query and sleep first on PATH: the
# index update fails as on a mirror caught mid-sync, and an install resolves only pinned to
# a release (MODE pinned), never (broken), or nothing is missing (installed).
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
fake=$(mktemp -d /tmp/vesk-install-test-XXXXXX) || exit 1
trap 'rm -rf "$fake"' EXIT
cat >"$fake/apt-get" <<'END'
#!/bin/bash
echo "apt-get $*" >>"$FAKE/calls"
case "$MODE $*" in *" update"*)
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
pinned*" -t "*|pinned*--target-release*|pinned*APT::Default-Release=*) exit 0 ;;
esac
echo "E: Unable to correct problems, you have held broken packages."; exit 100
END
printf '#!/bin/bash\n[ "$MODE" = installed ] && echo "install ok installed"\n' >"$fake/dpkg-query"
printf '#!/bin/bash\necho "dpkg $*" >>"$FAKE/calls"\n' >"$fake/dpkg"
printf '#!/bin/bash\n' >"$fake/sleep"
chmod +x "$fake"/*
echo VERSION_CODENAME=testrel >"$fake/os-release"
passed=0 failed=0
# mode | arguments | status | texts the output or the calls hold (;) | whether apt runs
while IFS='|' read -r mode args status texts runs; do
    : >"$fake/calls"
    out=$(FAKE=$fake MODE=$mode PATH="$fake:$PATH" VESK_SUDO= VESK_OS_RELEASE="$fake/os-release" \
          bash "$top/tools/install.sh" $args 2>&1)
    rc=$? bad=
    [ $rc = "$status" ] || bad="exit $rc;"
    [ -s "$fake/calls" ] && [ "$runs" = no ] && bad="$bad apt ran;"
    IFS=';' read -ra wanted <<<"$texts"
    for t in "${wanted[@]}"; do
        grep -qF -- "$t" <<<"$out$(cat "$fake/calls")" || bad="$bad lacks \"$t\";"
    done
    for log in $(grep -o '/tmp/vesk-install-[A-Za-z0-9]*/[^ ]*\.log' <<<"$out"); do
        [ -f "$log" ] || bad="$bad no $log;"; rm -rf "$(dirname "$log")"
    done
    if [ -z "$bad" ]; then passed=$((passed + 1)); else
        failed=$((failed + 1)); printf 'FAIL %s %s:%s\n%s\n' "$mode" "$args" "$bad" "$out"; fi
done <<'END'
pinned||0|binary-i386/Packages.xz  File has unexpected size;dpkg --add-architecture i386;install -t testrel|yes
broken||1|could not install ;wine32:i386;held broken packages;install-testrel.log|yes
broken|--native|1|could not install cmake ninja-build g++|yes
installed||0||no
END
echo "$passed passed, $failed failed"
[ $failed = 0 ]
