// The vshell program: everything lives in the TakeCmd library; this only hands over
// the arguments as wide text.
#include "shell.h"

#if defined(_WIN32)

int wmain(int argc, wchar_t **argv) { return ShellMain(argc, argv); }

#else

#include "text/native_text.h"

#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv)
{
    wchar_t **wide = (wchar_t **)calloc((size_t)argc + 1, sizeof(wchar_t *));
    if (!wide) return 1;
    for (int i = 0; i < argc; ++i) {
        size_t len = strlen(argv[i]);
        size_t need = NativeToWide(argv[i], len, NULL, 0);
        wide[i] = (wchar_t *)malloc((need + 1) * sizeof(wchar_t));
        if (!wide[i]) return 1;
        NativeToWide(argv[i], len, wide[i], need + 1);
    }
    int status = ShellMain(argc, wide);
    for (int i = 0; i < argc; ++i) free(wide[i]);
    free(wide);
    return status;
}

#endif
