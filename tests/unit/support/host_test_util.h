// Shared set-up of the shell tests: a clean shell whose output is captured.
#ifndef HOST_TEST_UTIL_H
#define HOST_TEST_UTIL_H

#include <gtest/gtest.h>

#include <string>

#include "messages.h"
#include "plugin/host_api.h"
#include "state.h"
#include "variables.h"

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vsh::ResetShell(false);
        out.clear();
        err.clear();
        vsh::CaptureOutput(&out, &err);
    }
    void TearDown() override
    {
        vsh::CaptureOutput(nullptr, nullptr);
        vsh::ResetShell(false);
    }

    /// ExpandVariables on a copy of text in a full-size buffer; the text, or "<failed>".
    static std::wstring Expand(const std::wstring &text)
    {
        wchar_t buffer[HOST_BUFFER_LEN];
        wcsncpy(buffer, text.c_str(), HOST_BUFFER_LEN - 1);
        buffer[HOST_BUFFER_LEN - 1] = L'\0';
        if (ExpandVariables(buffer, 1) != 0) return L"<failed>";
        return buffer;
    }

    std::wstring out;
    std::wstring err;
};

#endif
