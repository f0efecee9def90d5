// What a scan could not see, handed up as values: the walk decides what each failure
// weighs and hands it to one sink, which the command and @VESK own.
#ifndef VESK_SCAN_FAILURES_H
#define VESK_SCAN_FAILURES_H

#include <stdint.h>
#include <wchar.h>

#include "platform/platform.h"
#include "search/denied_folders.h"

/// What a failure costs the scan (WeighListingError in the walk decides).
enum FailureWeight {
    QUIET_FAILURE,   ///< the folder is gone: it holds nothing to find, and nothing is said
    DENIED_FAILURE,  ///< not ours to read: counted, told once at the end
    TOLD_FAILURE,    ///< files may be lost: named, and the scan's result is 2
};

/// What failed.
enum FailureKind {
    FAILED_LISTING,      ///< a folder could not be listed, or not to its end
    FAILED_ENTRY,        ///< an entry its folder's listing named could not be read
    FAILED_PATH_LENGTH,  ///< a folder or file whose path passes the limit
};

/// One failure, valid for the call it is handed to: Folder (ending in a separator, or
/// a bare drive), or the entry Name within it.
struct ScanFailure {
    FailureKind Kind;
    FailureWeight Weight;
    const wchar_t *Folder;
    const wchar_t *Name;  ///< null when the folder itself failed
    DWORD Error;          ///< the system's error; 0 for FAILED_PATH_LENGTH
    const FileId *Id;     ///< a denied folder's trusted identity, or null
    bool IsDirectory;     ///< what failed is a folder (a listing, or a folder's entry)
};

/// Where a scan hands its failures: Report(Context, failure) once each; a null Report
/// hears nothing.
struct FailureSink {
    void (*Report)(void *context, const ScanFailure *failure);
    void *Context;
};

/// The failures of one command or @VESK call, as the user is told them.
struct FailureReport {
    DeniedFolders Denied;  ///< zero-initialised; FreeDeniedFolders releases it
};

/// A FailureSink's Report for a FailureReport (context): a told failure is said at once
/// on standard error with the system's reason (`Cannot list "DIR\": reason`, `Cannot read
/// "DIR\NAME": reason`, a path past the limit shown cut in the middle), a denied folder is
/// counted for the line ReportDeniedFolders says at the end, and a quiet one is passed
/// over.
void ReportFailure(void *report, const ScanFailure *failure);

/// The sink that reports to report.
inline FailureSink SinkOf(FailureReport *report) { return FailureSink{ReportFailure, report}; }

#endif
