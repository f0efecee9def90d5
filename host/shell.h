// The stand-in shell's entry point, exported by the TakeCmd library so that the thin
// vshell executable only has to hand over its arguments.
#ifndef VSHELL_SHELL_H
#define VSHELL_SHELL_H

#include "plugin/host_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/// Runs the shell: "[--plugin FILE]... [--set NAME=VALUE]... [-c LINE | BATCHFILE [ARGS]]".
/// argv[0] is the program. Returns the exit status (the result of the last command).
HOST_SERVICE int HOST_CALL ShellMain(int argc, wchar_t **argv);

#ifdef __cplusplus
}
#endif

#endif
