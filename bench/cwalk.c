/* The physical limit for one thread on Linux: the fastest plain walk over a tree,
 * keeping the ten largest (or newest) regular files in a small array. Directories are
 * told by the entry type that getdents already gives, so only the other entries are
 * stat'ed (an entry of unknown type is stat'ed too). With "dirs" after "newest" the
 * directories are candidates too, and each is stat'ed for its time. The benchmark
 * measures Vesk against this walk. */
#define _GNU_SOURCE
#include <dirent.h>
#include <unistd.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#define KEEP 10
static long long best[KEEP];
static char names[KEEP][4096];
static int kept, newest, dirs;

static void offer(long long key, const char *path)
{
    int i = kept < KEEP ? kept++ : KEEP;
    if (i == KEEP) {
        if (key <= best[KEEP - 1]) return;
        i = KEEP - 1;
    }
    while (i > 0 && best[i - 1] < key) {
        best[i] = best[i - 1];
        memcpy(names[i], names[i - 1], sizeof names[i]);
        --i;
    }
    best[i] = key;
    snprintf(names[i], sizeof names[i], "%s", path);
}

static void walk(int parent, const char *name, char *path, size_t len)
{
    /* open and getdents64 rather than opendir, which spends an fstat on every directory */
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    char block[32768] __attribute__((aligned(8)));
    long filled;
    while ((filled = getdents64(fd, block, sizeof block)) > 0) {
        for (long at = 0; at < filled;) {
            struct dirent64 *e = (struct dirent64 *)(block + at);
            at += e->d_reclen;
            if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
            size_t n = strlen(e->d_name);
            if (len + n + 2 > 4096) continue;
            path[len] = '/';
            memcpy(path + len + 1, e->d_name, n + 1);
            if (e->d_type == DT_DIR) {
                walk(fd, e->d_name, path, len + 1 + n);
                struct stat st;
                if (dirs && fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                    offer((long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec, path);
            } else if (e->d_type == DT_REG || e->d_type == DT_UNKNOWN) {
                struct stat st;
                if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                    if (S_ISDIR(st.st_mode)) walk(fd, e->d_name, path, len + 1 + n);
                    else if (S_ISREG(st.st_mode))
                        offer(newest ? (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec
                                     : (long long)st.st_size, path);
                }
            }
            path[len] = 0;
        }
    }
    close(fd);
}

int main(int argc, char **argv)
{
    if (argc < 2) { fprintf(stderr, "usage: cwalk DIR [newest [dirs]]\n"); return 2; }
    newest = argc > 2 && !strcmp(argv[2], "newest");
    dirs = newest && argc > 3 && !strcmp(argv[3], "dirs");
    static char path[4096];
    snprintf(path, sizeof path, "%s", argv[1]);
    walk(AT_FDCWD, argv[1], path, strlen(path));
    for (int i = 0; i < kept; ++i) printf("%lld %s\n", best[i], names[i]);
    return 0;
}
