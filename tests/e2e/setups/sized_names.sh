# Sourced by a case's setup: sized_names [STAMP] makes sub/ and in it one file for each
# line of standard input, named by the line, sized 100 bytes for the first and one byte
# less for each next, so that the order is known; with STAMP (a UTC time touch takes)
# every file gets that last-write time.
sized_names() {
    mkdir sub
    local size=100 name
    while IFS= read -r name; do
        truncate -s $size "sub/$name"
        if [ -n "${1:-}" ]; then TZ=UTC touch -d "$1" "sub/$name"; fi
        size=$((size - 1))
    done
}
