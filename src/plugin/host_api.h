/* The boundary between the shell and a plug-in library: the services the shell's
 * service library (TakeCmd) exports, the identity record a plug-in hands over, and
 * the exports the shell looks up in a plug-in. Plain C so that both sides, and any
 * plug-in written in C, compile against the same declarations.
 *
 * All text is wide and NUL-terminated. Buffers handed to the shell for in-place work
 * hold HOST_BUFFER_LEN characters. The exports themselves are declared in
 * plugin/exports.h.
 *
 * How the two sides call each other, in order:
 *
 *   1. Load. The shell loads the library and looks up its exports by name.
 *      GetPluginInfo returns the identity record; the library keeps owning it, and the
 *      shell reads Implements ("vesk,_vesk,@vesk") to find the export of each name:
 *      a command under its own name, a variable (_name) under its name, a function
 *      (@name) as f_name.
 *   2. InitializePlugin. The plug-in reads the shell's version through ExpandVariables
 *      (%_4ver, %_build, %_cmdproc) and may print its load line with Printf. -1 (after
 *      its own message on Qprintf) makes the shell unload the library again; nothing
 *      else is called then.
 *   3. Calls, any number, one at a time on the shell's thread:
 *      - the command: vesk(arguments), arguments the shell's own writable text after
 *        the name. The plug-in tokenizes it, scans the files (WildcardComparison,
 *        QueryTrueName, QueryDriveReady, QueryIsDirectory, QueryIsFileOrDirectory and
 *        ExpandVariables for descriptions), keeps each found file in a block from
 *        AllocMem that it hands back with FreeMem, replaces the array through Command
 *        (UNSETARRAY, SETARRAY, then SET for each cell), and prints with Printf,
 *        QPuts, CrLf and Qprintf.
 *      - the variable and the function: _vesk(buffer) and f_vesk(buffer), buffer
 *        HOST_RESULT_LEN characters holding the arguments on entry and the result on
 *        return (written with Sprintf).
 *      - Help(name) and Usage(name, buffer) when the user asks for help.
 *      Every service call returns before the export does; the plug-in keeps no
 *      pointer the shell gave it past the call it came with.
 *   4. ShutdownPlugin(endProcess), once, before the library is unloaded (or the
 *      process ends): the plug-in frees what it still holds (the ranked list). The
 *      shell calls nothing of the library after it.
 */
#ifndef VESK_HOST_API_H
#define VESK_HOST_API_H

#include <stddef.h>
#include <wchar.h>

#if defined(_WIN32)
#  define HOST_CALL __stdcall
#  define HOST_CDECL __cdecl
#else
#  define HOST_CALL
#  define HOST_CDECL
#endif

/* The shell's side is built with HOST_SERVICES_BUILD defined so that its services
 * are exported; everyone else imports them. Tests that link both sides into one
 * program define HOST_STATIC_LINK. */
#if defined(HOST_STATIC_LINK)
#  define HOST_SERVICE
#elif defined(_WIN32)
#  if defined(HOST_SERVICES_BUILD)
#    define HOST_SERVICE __declspec(dllexport)
#  else
#    define HOST_SERVICE __declspec(dllimport)
#  endif
#else
#  define HOST_SERVICE __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum { HOST_BUFFER_LEN = 8192 };
/** Room the shell gives a plug-in's Usage export. */
enum { HOST_USAGE_LEN = 1024 };
/** Room the shell gives a variable or a variable function for its result. */
enum { HOST_RESULT_LEN = 16384 };

/** A plug-in's identity. The plug-in owns the record and every text it points to;
 *  the address stays valid while the library is loaded. */
typedef struct PluginInfo {
    const wchar_t *Name;        /* the plug-in's name, e.g. L"Vesk" */
    const wchar_t *Author;
    const wchar_t *Email;
    const wchar_t *WebPage;
    const wchar_t *Description;
    const wchar_t *Implements;  /* "cmd,_var,@func": lower case, commas, no blanks */
    int Major;
    int Minor;
    int Build;
} PluginInfo;

/** The shell's record goes on past these nine fields with a part of its own, which a
 *  plug-in never reads or writes but keeps room for, this many pointers, after its record:
 *  whatever the shell writes there must not land on the plug-in's other data. */
enum { PLUGIN_INFO_SHELL_SLOTS = 16 };

/* ---- Services of the shell (TakeCmd) ------------------------------------------- */

/** printf-style output on standard output. In the format, %s takes wide text and %c a
 *  wide character; %I64u / %I64d take 64-bit values. Returns characters written. */
HOST_SERVICE int HOST_CDECL Printf(const wchar_t *format, ...);
/** As Printf, on the given handle (a standard handle of the process). */
HOST_SERVICE int HOST_CDECL Qprintf(void *handle, const wchar_t *format, ...);
/** As Printf, into dest, which the caller sizes for the result. */
HOST_SERVICE int HOST_CDECL Sprintf(wchar_t *dest, const wchar_t *format, ...);
/** Writes text on standard output; adds no line end. */
HOST_SERVICE int HOST_CALL QPuts(const wchar_t *text);
/** Writes a line end on standard output. */
HOST_SERVICE int HOST_CALL CrLf(void);
/** Expands variables and functions in place in a HOST_BUFFER_LEN buffer.
 *  Returns 0 on success; non-zero leaves the buffer untouched. */
HOST_SERVICE int HOST_CALL ExpandVariables(wchar_t *buffer, int recursive);
/** Runs a command line in the shell's language; returns the command's result. */
HOST_SERVICE int HOST_CALL Command(const wchar_t *line, int flags);
/** A block of the shell's memory, or null. Release with FreeMem. */
HOST_SERVICE void *HOST_CALL AllocMem(unsigned int size);
HOST_SERVICE void HOST_CALL FreeMem(void *block);
/** 0 when text matches pattern. fileNames 1 applies the file-name conventions
 *  ("*.*" matches a name without a dot). Comparison ignores case. */
HOST_SERVICE int HOST_CALL WildcardComparison(const wchar_t *pattern, const wchar_t *text,
                                              int fileNames, int ignoreCase);
/** The absolute, normalised form of path in result (HOST_RESULT_LEN characters).
 *  Wildcards in the last component are kept. Returns 0 on success. */
HOST_SERVICE int HOST_CALL QueryTrueName(const wchar_t *path, wchar_t *result);
/** Non-zero when drive (1 for A) is ready. */
HOST_SERVICE int HOST_CALL QueryDriveReady(int drive);
/** Non-zero when handle is a console. */
HOST_SERVICE int HOST_CALL QueryIsConsole(void *handle);
HOST_SERVICE int HOST_CALL QueryIsFileOrDirectory(const wchar_t *path);
HOST_SERVICE int HOST_CALL QueryIsDirectory(const wchar_t *path);

#ifdef __cplusplus
}
#endif

#endif
