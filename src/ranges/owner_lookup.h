// The owner of a file, as the owner ranges test it.
#ifndef VESK_OWNER_LOOKUP_H
#define VESK_OWNER_LOOKUP_H

#include <stdint.h>
#include <wchar.h>

/// "domain\account" of path's owner into out (8192 characters) when both parts are
/// known. 0 when looked up, 1 when not, -1 for a missing argument.
int GetOwner(const wchar_t *path, wchar_t *out);

#endif
