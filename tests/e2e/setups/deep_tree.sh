# Sourced by a case's setup: deep_tree LEVELS makes deep/, holding top.dat (50 bytes) and
# a chain of LEVELS directories named d, one inside the next, each with a file f as many
# bytes long as its level; bottom.dat (12,345 bytes, the largest) is at the bottom. Made
# relative to an open directory: a process started at such a depth pays for it.
deep_tree() {
    mkdir deep
    truncate -s 50 deep/top.dat
    python3 - "$1" <<'PY'
import os, sys
fd = os.open("deep", os.O_RDONLY)
for i in range(1, int(sys.argv[1]) + 1):
    os.mkdir("d", dir_fd=fd)
    inner = os.open("d", os.O_RDONLY, dir_fd=fd)
    os.close(fd)
    fd = inner
    with open(os.open("f", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd), "wb") as f:
        f.truncate(i)
with open(os.open("bottom.dat", os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd), "wb") as f:
    f.truncate(12345)
PY
}
