#include "search/scan_failures.h"

#include <gtest/gtest.h>

#include <string>

#include "host_test_util.h"

namespace {

TEST(ScanFailuresTest, EachFailureIsSaidOrCountedAsItWeighs)
{
    const std::wstring deep = L"/d/" + std::wstring(20000, L'x');
    struct {
        FailureKind Kind;
        FailureWeight Weight;
        const wchar_t *Folder, *Name;
        DWORD Error;
        bool IsDirectory;
        const char *Line;   // after the prefix; "" for none
        const wchar_t *Counted;  // the denied folder's name kept; null for none
    } cases[] = {
        {FAILED_LISTING, QUIET_FAILURE, L"/gone/", nullptr, ERROR_PATH_NOT_FOUND, true, "", nullptr},
        {FAILED_LISTING, DENIED_FAILURE, L"/no/", nullptr, ERROR_ACCESS_DENIED, true, "", L"/no/"},
        // A link into a folder we may not search counts as that folder, by the link's path.
        {FAILED_ENTRY, DENIED_FAILURE, L"/a/", L"lnk", ERROR_ACCESS_DENIED, true, "", L"/a/lnk/"},
        {FAILED_LISTING, TOLD_FAILURE, L"/b/", nullptr, ERROR_TOO_MANY_OPEN_FILES, true,
         "Cannot list \"/b/\": too many open files", nullptr},
        {FAILED_ENTRY, TOLD_FAILURE, L"/c/", L"f", ERROR_NOT_ENOUGH_MEMORY, false,
         "Cannot read \"/c/f\": not enough memory", nullptr},
        {FAILED_PATH_LENGTH, TOLD_FAILURE, deep.c_str(), L"f", 0, false, "Cannot read \"/d/xx", nullptr},
        {FAILED_PATH_LENGTH, TOLD_FAILURE, deep.c_str(), nullptr, 0, true, "Cannot list \"/d/xx", nullptr},
    };
    for (const auto &c : cases) {
        FailureReport report = {};
        FailureSink sink = SinkOf(&report);
        ScanFailure failure = {c.Kind, c.Weight, c.Folder, c.Name, c.Error, nullptr, c.IsDirectory};
        testing::internal::CaptureStderr();
        sink.Report(sink.Context, &failure);
        std::string err = testing::internal::GetCapturedStderr();
        std::string line = *c.Line ? "Vesk plugin: " + std::string(c.Line) : "";
        EXPECT_EQ(line, err.substr(0, line.size())) << c.Line;
        if (c.Kind == FAILED_PATH_LENGTH) {
            EXPECT_NE(std::string::npos, err.find("...")) << "shown cut in the middle";
        }
        EXPECT_EQ(c.Counted != nullptr ? 1u : 0u, report.Denied.Count);
        if (c.Counted != nullptr) {
            EXPECT_EQ(std::wstring(c.Counted), report.Denied.Names[0]);
        }
        FreeDeniedFolders(&report.Denied);
    }
}

}  // namespace
