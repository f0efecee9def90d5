# Sourced by a case's setup: lost_descriptions makes cr/, whose DESCRIPT.ION ends each
# line with a CR alone, and odd/, whose DESCRIPT.ION holds one description longer than
# the shell's line of 8,191 characters, one holding a NUL (zero.txt, as "nul" names a
# device on Windows), one that fills the line exactly and an ordinary one (each holds
# "backup"), and copies lost_descriptions.btm, the batch the cases call.
lost_descriptions() {
    local name full
    mkdir cr odd
    for name in cr/a.txt cr/b.txt cr/c.txt odd/long.txt odd/zero.txt odd/full.txt odd/fine.txt; do
        truncate -s 1 "$name"
        TZ=UTC touch -d "2024-05-01 12:00:00" "$name"
    done
    printf 'a.txt backup a\rb.txt backup b\rc.txt draft c\r' > cr/DESCRIPT.ION
    full="backup$(head -c 8185 /dev/zero | tr '\0' x)"
    {
        printf 'long.txt %syz\r\n' "$full"
        printf 'zero.txt backup\000tail\r\n'
        printf 'full.txt %s\r\n' "$full"
        printf 'fine.txt backup, whole\r\n'
    } > odd/DESCRIPT.ION
    cp "$(dirname "${BASH_SOURCE[0]}")/lost_descriptions.btm" descript.btm
}
