// Identity and version of the plug-in, and the test of the shell it is loaded into.
#ifndef VESK_PLUGIN_H
#define VESK_PLUGIN_H

#include <stdint.h>
#include <wchar.h>

#include "plugin/host_api.h"
#include "vesk_version.h"

#define PLUGIN_NAME L"Vesk"
enum {
    VERSION_MAJOR = VESK_VERSION_MAJOR,
    VERSION_MINOR = VESK_VERSION_MINOR,
    VERSION_BUILD = VESK_VERSION_BUILD,
    VERSION_REVISION = VESK_VERSION_REVISION
};

/// 0 suitable host, 1 major version below 10, 2 the TCCLE edition, -1 unreadable or out
/// of range.
int CheckHostVersion(void);

#endif
