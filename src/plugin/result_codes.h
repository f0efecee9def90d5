// The result codes of the plug-in's own functions, one convention for every room: 0 when
// the function did what it says, a small positive code when it did not (each function
// says whether it has reported why), -1 when an argument it needs is null or empty.
// The numbers the exports give the shell are apart (plugin/exports.h): each export turns
// its own outcome into one of them.
#ifndef VESK_RESULT_CODES_H
#define VESK_RESULT_CODES_H

enum {
    RESULT_OK = 0,
    /// Did not work, or the answer is no; ReportError returns it after its message.
    RESULT_FAILED = 1,
    /// A scan lost files or folders and reported it (the walk, the filespec scan, a file
    /// the ranges left out by name); never any other loss.
    RESULT_SCAN_FAILED = 2,
    RESULT_MISSING_ARGUMENT = -1,
};

#endif
