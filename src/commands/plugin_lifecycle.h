// The exports of the plug-in's life with the shell: identity, start-up check, help,
// usage and shutdown.
#ifndef VESK_PLUGIN_LIFECYCLE_H
#define VESK_PLUGIN_LIFECYCLE_H

/// 0 suitable host, 1 major version below 10, 2 the TCCLE edition, -1 unreadable or out
/// of range.
int CheckHostVersion(void);

#endif
