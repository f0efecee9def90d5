#include "platform/platform.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#include <string>

#include "text/native_text.h"

namespace vesk_posix {
DWORD ErrorFromErrno(int e);
}

namespace {

std::wstring Described(DWORD code)
{
    wchar_t text[256];
    DescribeSystemError(code, text, 256);
    return text;
}

std::wstring StrError(int e)
{
    const char *text = strerror(e);
    std::wstring out(strlen(text) + 1, L'\0');
    out.resize(NativeToWide(text, strlen(text), &out[0], out.size()));
    return out;
}

TEST(LinuxErrorsTest, EveryErrnoHasTheNearestWindowsErrorAndItsText)
{
    struct {
        int Errno;
        DWORD Code;
    } cases[] = {
        {ENOENT, ERROR_FILE_NOT_FOUND},   {ENOTDIR, ERROR_PATH_NOT_FOUND},
        {EACCES, ERROR_ACCESS_DENIED},    {EIO, ERROR_IO_DEVICE},
        {ESTALE, ERROR_FILE_INVALID},     {ENOTCONN, ERROR_NETNAME_DELETED},
        {EUCLEAN, ERROR_FILE_CORRUPT},    {EOVERFLOW, ERROR_ARITHMETIC_OVERFLOW},
        {ENODEV, ERROR_DEV_NOT_EXIST},    {EBADF, ERROR_INVALID_HANDLE},
        {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE}, {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
        {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.Code, vesk_posix::ErrorFromErrno(c.Errno)) << c.Errno;
        EXPECT_EQ(StrError(c.Errno), Described(c.Code)) << c.Errno;
    }
    // An errno no row names becomes a code of its own, never one that means "not
    // there" or "denied", and keeps its text.
    DWORD unknown = vesk_posix::ErrorFromErrno(EDEADLK);
    for (DWORD quiet : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                        ERROR_INVALID_PARAMETER})
        EXPECT_NE(quiet, unknown);
    EXPECT_EQ(StrError(EDEADLK), Described(unknown));
    // A Windows code the layer never gives has its number.
    EXPECT_EQ(L"error 4321", Described(4321));
    wchar_t small[8];
    DescribeSystemError(ERROR_IO_DEVICE, small, 8);
    EXPECT_EQ(7u, wcslen(small));
}

}  // namespace
