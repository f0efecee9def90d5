# Sourced by a case's setup: sized_names [STAMP] makes sub/ and in it one file for each
# line of standard input, named by the line, sized 100 bytes for the first and one byte
# less for each next, so that the order is known; with STAMP (a UTC time touch takes)
# every file gets that last-write time. SIZED_NAMES and SIZED_SIZES keep the list.
sized_names() {
    mkdir sub
    local size=100 name
    SIZED_NAMES=() SIZED_SIZES=()
    while IFS= read -r name; do
        truncate -s $size "sub/$name"
        if [ -n "${1:-}" ]; then TZ=UTC touch -d "$1" "sub/$name"; fi
        SIZED_NAMES+=("$name") SIZED_SIZES+=($size)
        size=$((size - 1))
    done
}
