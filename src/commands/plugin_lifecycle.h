// The exports of the plug-in's life with the shell: identity, start-up check, help,
// usage and shutdown.
#ifndef VESK_PLUGIN_LIFECYCLE_H
#define VESK_PLUGIN_LIFECYCLE_H

/// What CheckHostVersion found.
enum {
    HOST_SUITABLE = 0,
    HOST_TOO_OLD = 1,    ///< major version below 10
    HOST_LE_EDITION = 2, ///< the TCCLE edition
    HOST_UNREADABLE = -1 ///< a version unreadable or out of range
};

/// Whether the shell is one the plug-in runs under: one of the HOST_ values.
int CheckHostVersion(void);

#endif
