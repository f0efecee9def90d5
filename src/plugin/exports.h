/* The plug-in's exports: the eight functions the shell looks up by name in the library,
 * and the pointer types it calls them through. The plug-in defines them, the shell
 * (host/plugins.cpp), the unit tests and the fuzzers use this header, so no declaration
 * of an export is written anywhere else. Compiles as C as well as C++. */
#ifndef VESK_EXPORTS_H
#define VESK_EXPORTS_H

#include <wchar.h>

#include "plugin/host_api.h"

/* Marks a function the shell looks up in the library. Windows builds export through
 * the .def file (undecorated names); Linux builds through the version script. */
#if defined(_WIN32)
#  define PLUGIN_EXPORT
#else
#  define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Pointer types the shell calls the exports through ---------------------------- */

typedef PluginInfo *(HOST_CALL *GetPluginInfoFn)(void);
typedef int (HOST_CALL *InitializePluginFn)(void);
typedef int (HOST_CALL *ShutdownPluginFn)(int endProcess);
typedef int (HOST_CALL *HelpFn)(wchar_t *name);
/** buffer holds HOST_USAGE_LEN characters. */
typedef int (HOST_CALL *UsageFn)(wchar_t *name, wchar_t *buffer);
/** A command: the argument text. */
typedef int (HOST_CALL *CommandFn)(wchar_t *arguments);
/** A variable (_name) or a variable function (f_name): one buffer of HOST_RESULT_LEN
 *  characters, holding the arguments on entry and the result on return. */
typedef int (HOST_CALL *VariableFn)(wchar_t *buffer);

/* ---- The numbers the exports give the shell ---------------------------------------- */

/* Batch files test these; each export turns its own outcome into one of them on its way
 * out, and nothing else in the plug-in returns them. */
enum {
    /* vesk */
    VESK_RESULT_NO_TEXT = -1,      /* the shell gave no argument text */
    VESK_RESULT_DONE = 0,          /* complete, every file found stored; or help shown */
    VESK_RESULT_USAGE_ERROR = 1,   /* an argument refused, after its message */
    VESK_RESULT_INCOMPLETE = 2,    /* after messages: files lost by a scan, rows not stored,
                                      or settings that let nothing be written */
    /* _vesk, f_vesk */
    VARIABLE_RESULT_DONE = 0,
    VARIABLE_RESULT_FAILED = -1,   /* after a message, unless the buffer was null */
    /* InitializePlugin */
    START_ACCEPTED = 0,
    START_REFUSED = -1,            /* after its message: the shell unloads the library */
    /* ShutdownPlugin */
    SHUTDOWN_DONE = 0,
    /* Help, Usage */
    NAME_HANDLED = 1,
    NAME_NOT_OURS = 0
};

/* ---- The exports ----------------------------------------------------------------- */

/** The identity record, filled on every call; the library owns it. */
PLUGIN_EXPORT PluginInfo *HOST_CALL GetPluginInfo(void);
/** 0 when the host is suitable (the load message may be printed), else -1 after a
 *  message. */
PLUGIN_EXPORT int HOST_CALL InitializePlugin(void);
/** Releases the result list. Returns 0. */
PLUGIN_EXPORT int HOST_CALL ShutdownPlugin(int endProcess);
/** Shows the help of one of the plug-in's names in a message box: 1, else 0. */
PLUGIN_EXPORT int HOST_CALL Help(wchar_t *name);
/** Copies the command's syntax and options into buffer (HOST_USAGE_LEN characters): 1
 *  for the command's name, else 0 with buffer untouched. */
PLUGIN_EXPORT int HOST_CALL Usage(wchar_t *name, wchar_t *buffer);
/** The VESK command. arguments (the shell's, writable) is the text after the name.
 *  0 when done, non-zero after a reported error; -1 for null arguments. */
PLUGIN_EXPORT int HOST_CALL vesk(wchar_t *arguments);
/** _VESK: LastCount as decimal text into buffer. 0, or -1 for a null buffer. */
PLUGIN_EXPORT int HOST_CALL _vesk(wchar_t *buffer);
/** @VESK[filespec,criterion,attribs,flags,stamp]: buffer (HOST_RESULT_LEN characters)
 *  holds the arguments on entry and, on 0, the full name of the best file or the empty
 *  text. -1 for a null buffer or a bad argument (reported; buffer left as given). */
PLUGIN_EXPORT int HOST_CALL f_vesk(wchar_t *buffer);

#ifdef __cplusplus
}

// The shell calls each export through its pointer type: a definition that drifted from
// the type would be called with the wrong arguments, which no linker notices.
template <typename A, typename B> struct ExportTypeIs { static const bool value = false; };
template <typename A> struct ExportTypeIs<A, A> { static const bool value = true; };
static_assert(ExportTypeIs<decltype(&GetPluginInfo), GetPluginInfoFn>::value, "GetPluginInfo");
static_assert(ExportTypeIs<decltype(&InitializePlugin), InitializePluginFn>::value, "InitializePlugin");
static_assert(ExportTypeIs<decltype(&ShutdownPlugin), ShutdownPluginFn>::value, "ShutdownPlugin");
static_assert(ExportTypeIs<decltype(&Help), HelpFn>::value, "Help");
static_assert(ExportTypeIs<decltype(&Usage), UsageFn>::value, "Usage");
static_assert(ExportTypeIs<decltype(&vesk), CommandFn>::value, "vesk");
static_assert(ExportTypeIs<decltype(&_vesk), VariableFn>::value, "_vesk");
static_assert(ExportTypeIs<decltype(&f_vesk), VariableFn>::value, "f_vesk");
#endif

#endif
