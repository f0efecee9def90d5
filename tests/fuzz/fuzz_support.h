// Shared pieces of the fuzz targets: turning the fuzzer's bytes into wide text, the
// small fixed tree the whole-command targets search, and the fence that keeps a fuzzed
// shell line inside that tree.
#ifndef VESK_FUZZ_SUPPORT_H
#define VESK_FUZZ_SUPPORT_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

/// Reports a broken invariant and aborts, so libFuzzer records the input as a crash.
#define FUZZ_CHECK(cond)                                                              \
    do {                                                                              \
        if (!(cond)) {                                                                \
            fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #cond); \
            abort();                                                                  \
        }                                                                             \
    } while (0)

/// The bytes as wide text: UTF-8 sequences (surrogates included) become their
/// characters, every other byte the character of the same value, so seeds stay readable
/// and any character can be reached. Stops at a NUL byte. At most maxChars characters.
std::wstring DecodeFuzzText(const uint8_t *data, size_t size, size_t maxChars);

/// Creates the fixed tree once per process (a temp dir with files of known sizes and
/// times, a subdirectory, a hidden file, names with blanks) and makes it the current
/// directory. Returns its absolute path (no trailing separator).
const std::wstring &FuzzTree(void);

/// Removes whatever a fuzzed command left in the tree (files written by redirection)
/// and goes back to the tree's top.
void RestoreFuzzTree(void);

/// Captures the shell's output into strings that are dropped after every input; the
/// fuzzers care about invariants, not the text. VESK_FUZZ_VERBOSE in the environment
/// lets it through.
void SilenceShell(void);

#endif
