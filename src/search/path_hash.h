// FNV-1a over a path's characters, one at a time, so that a caller can hash each prefix
// of a path in the same pass.
#ifndef VESK_PATH_HASH_H
#define VESK_PATH_HASH_H

#include <stdint.h>
#include <wchar.h>

const uint64_t PATH_HASH_START = 0xCBF29CE484222325ULL;

/// The hash of a text one character c longer than the text hash was taken of.
inline uint64_t PathHashStep(uint64_t hash, wchar_t c)
{
    return (hash ^ (uint64_t)(uint32_t)c) * 0x100000001B3ULL;
}

#endif
