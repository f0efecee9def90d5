// What the VESK command and @VESK both do to ask for a scan: the options a scan starts
// from, the directory bit of the criteria that rank by size, the name of the description
// file to leave out, and the scan of the file specifications into an ordered ranked list.
#ifndef VESK_SCAN_SETUP_H
#define VESK_SCAN_SETUP_H

#include <wchar.h>

#include "search/result_list.h"
#include "search/search.h"

/// Fills options with what a scan starts from: no attribute tested, the last-write stamp,
/// no walk flags, bare names, no description file left out, no ranges, no trace, and no
/// sink for what the scan could not see.
void ResetSearchOptions(SearchOptions *options);

/// Adds the directory bit to options->AttrMask when mode ranks by size (MODE_LARGEST,
/// MODE_SMALLEST): a directory has no size of its own to rank by, so it takes part only
/// when the attributes ask for directories.
void TestDirectoriesForSize(int mode, SearchOptions *options);

/// Fills name (HOST_BUFFER_LEN characters, the caller's) with the name of the shell's
/// description file ("%_dname"), to be left out of the candidates; empty when the shell
/// does not give it.
void ReadDescriptionFileName(wchar_t *name);

/// Starts results (the caller's, zeroed; it frees it with ClearResults on every path) for
/// n entries ranked by mode, scans each of the count file specifications of specs into it
/// with options, in order, and orders it. RESULT_OK; RESULT_SCAN_FAILED when a scan
/// reported what it could not see (the others are still scanned); RESULT_FAILED when the
/// list could not be started (reported, nothing scanned).
int ScanFileSpecs(const wchar_t *const *specs, int count, const SearchOptions *options, int n,
                  int mode, ResultList *results);

#endif
