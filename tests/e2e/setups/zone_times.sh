# Sourced by a case's setup: zone_times makes t/, a link to a tmpfs folder (which keeps
# any 64-bit time) holding files at the edges of the file times and one on an ordinary
# day, each named for its UTC time, and copies zone_times.btm, the batch every zone case
# calls: only the zone (the case's TZ) differs between the cases.
zone_times() {
    local old shm
    for old in /dev/shm/vesk-e2e-*; do
        [ -e "$old" ] && [ ! -e "/tmp/$(basename "$old")" ] && rm -rf "$old"
    done
    shm=/dev/shm/$(basename "$PWD")
    mkdir -p "$shm/edge"
    make() { truncate -s "$2" "$shm/$1"; TZ=UTC touch -m -d "$3" "$shm/$1"; }
    make u1601-01-01_0000 1 '1601-01-01 00:00:00'
    make u2024-07-15_1330 2 '2024-07-15 13:30:00'
    make u30828-09-13_1200 3 '30828-09-13 12:00:00'
    make u30828-09-14_0000 4 '30828-09-14 00:00:00'
    # Only the two times that are "(invalid time)" in some zone.
    make edge/u1601-01-01_0000 1 '1601-01-01 00:00:00'
    make edge/u30828-09-14_0000 4 '30828-09-14 00:00:00'
    ln -s "$shm" t
    cp "$(dirname "${BASH_SOURCE[0]}")/zone_times.btm" zones.btm
}
