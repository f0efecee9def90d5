// Counting and exhausting the process's file descriptors, for the tests that check
// what a listing or a walk holds open.
#ifndef VESK_TEST_DESCRIPTORS_H
#define VESK_TEST_DESCRIPTORS_H

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

/// Descriptors the process holds open.
inline int OpenDescriptors()
{
    int count = 0;
    if (DIR *fds = opendir("/proc/self/fd")) {
        while (readdir(fds) != nullptr) ++count;
        closedir(fds);
    }
    return count;
}

/// While it lives, the soft limit of descriptors is the lowest free one: the next open
/// finds none free. Set says whether the limit could be lowered.
struct NoDescriptorFree {
    struct rlimit Old;
    bool Set = false;
    NoDescriptorFree()
    {
        int probe = dup(0);
        if (probe < 0 || getrlimit(RLIMIT_NOFILE, &Old) != 0) return;
        close(probe);
        struct rlimit none = {(rlim_t)probe, Old.rlim_max};
        Set = setrlimit(RLIMIT_NOFILE, &none) == 0;
    }
    ~NoDescriptorFree()
    {
        if (Set) setrlimit(RLIMIT_NOFILE, &Old);
    }
};

#endif
