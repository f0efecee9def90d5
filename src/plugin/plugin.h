// Identity and version of the plug-in: what it tells the shell and signs its messages with.
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

#endif
