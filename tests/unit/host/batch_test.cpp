#include "host_test_util.h"

#include <stdio.h>
#include <string>
#include <unistd.h>

#include "batch.h"
#include "command_line.h"
#include "text/name_chars.h"
#include "text/native_text.h"

namespace {

class HostBatchTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        char pattern[] = "/tmp/vshell-batch-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir = pattern;
    }
    void TearDown() override
    {
        for (const std::string &f : files) unlink(f.c_str());
        rmdir(dir.c_str());
        ShellTest::TearDown();
    }
    /// Writes a batch file; returns its path as wide text.
    std::wstring Write(const char *name, const char *text)
    {
        std::string path = dir + "/" + name;
        FILE *f = fopen(path.c_str(), "wb");
        EXPECT_NE(nullptr, f);
        fputs(text, f);
        fclose(f);
        files.push_back(path);
        wchar_t wide[1024];
        NativeToWide(path.c_str(), path.size(), wide, 1024);
        return wide;
    }
    std::string dir;
    std::vector<std::string> files;
};

TEST_F(HostBatchTest, VariablesOfTheRunningBatchFile)
{
    Write("inner.btm", "echo in %_batch %1 %_batchline\r\n");
    std::string text = "echo %_batch [%1] [%2] [%*] %_batchline\n"
                       "\n"
                       ":label\n"
                       "call " + dir + "/inner.btm x\n"
                       "echo back %_batch %_batchline\n";
    std::wstring outer = Write("outer.btm", text.c_str());

    EXPECT_EQ(0, vsh::RunBatchFile(outer, {outer, L"\"a b\"", L"c"}, vsh::RunLine));
    EXPECT_EQ(L"1 [\"a b\"] [c] [\"a b\" c] 1\r\nin 2 x 1\r\nback 1 5\r\n", out);
    EXPECT_EQ(L"", err);
    EXPECT_TRUE(vsh::Shell.Batches.empty());
    EXPECT_EQ(L"0", Expand(L"%_batch"));
}

TEST_F(HostBatchTest, RunawayRecursionStopsWithAMessage)
{
    std::wstring self = Write("self.btm", "call %_batchname\n");
    EXPECT_NE(0, vsh::RunBatchFile(self, {self}, vsh::RunLine));
    EXPECT_NE(std::wstring::npos, err.find(L"vshell: batch files nested too deeply"));
    EXPECT_TRUE(vsh::Shell.Batches.empty());

    err.clear();
    vsh::SetVariable(L"LOOP", L"%LOOP%");
    EXPECT_EQ(1, vsh::RunLine(L"echo %LOOP%"));
    EXPECT_NE(std::wstring::npos, err.find(L"\"%LOOP\" expands into itself")) << err;
}

TEST_F(HostBatchTest, ExitEndsEveryLevel)
{
    Write("inner.btm", "exit 4\necho not here\n");
    std::string text = "call " + dir + "/inner.btm\necho not here either\n";
    std::wstring outer = Write("outer.btm", text.c_str());
    EXPECT_EQ(4, vsh::RunBatchFile(outer, {outer}, vsh::RunLine));
    EXPECT_EQ(L"", out);
    EXPECT_TRUE(vsh::Shell.ExitRequested);
}

TEST_F(HostBatchTest, MissingBatchFile)
{
    EXPECT_EQ(1, vsh::RunBatchFile(L"/nonexistent/x.btm", {L"x.btm"}, vsh::RunLine));
    EXPECT_EQ(L"vshell: cannot read batch file \"/nonexistent/x.btm\"\r\n", err);
}

TEST_F(HostBatchTest, ArgumentsKeepQuotes)
{
    struct {
        const wchar_t *Text;
        std::vector<std::wstring> Args;
    } cases[] = {
        {L"", {}},
        {L"  a  b ", {L"a", L"b"}},
        {L"\"a b\" c", {L"\"a b\"", L"c"}},
        {L"x\"y z\"w", {L"x\"y z\"w"}},
        {L"\"open", {L"\"open"}},
    };
    for (const auto &c : cases) EXPECT_EQ(c.Args, vsh::SplitBatchArguments(c.Text)) << c.Text;
}

TEST_F(HostBatchTest, EscapeAtTheEndOfALineUnderBothReadings)
{
    // Columns: the line continues (the documented reading), the escape stays.
    struct {
        const char *Text;
        const wchar_t *Joined;
        const wchar_t *Stays;
    } cases[] = {
        {"echo a^\necho b\n", L"aecho b\r\n", L"a^\r\nb\r\n"},
        {"echo a^^\necho b\n", L"a^\r\nb\r\n", L"a^\r\nb\r\n"},  // an escaped escape
        {"echo a^^^\nb\n", L"a^b\r\n", L"a^^\r\n"},             // and one left over
        {"echo [^\n^\nx]\n", L"[x]\r\n", L"[^\r\n"},              // a run of joins
        {"echo last^", L"last\r\n", L"last^\r\n"},                  // nothing to join
        {"setdos /x-8\necho a^\necho b\n", L"a^\r\nb\r\n", L"a^\r\nb\r\n"},
        {"setdos /e~\necho a^\necho b~\necho c\n", L"a^\r\nbecho c\r\n", L"a^\r\nb~\r\nc\r\n"},
    };
    for (bool joins : {true, false}) {
        for (const auto &c : cases) {
            vsh::ResetShell(false);
            vsh::Shell.Reading.EscapeContinuesLine = joins;
            std::wstring file = Write("cont.btm", c.Text);
            out.clear();
            err.clear();
            vsh::RunBatchFile(file, {file}, vsh::RunLine);
            EXPECT_EQ(joins ? c.Joined : c.Stays, out) << c.Text << (joins ? " joined" : " stays");
        }
    }
}

TEST(HostNamesTest, CaseFoldsWithoutALocale)
{
    struct {
        const wchar_t *A;
        const wchar_t *B;
    } same[] = {
        {L"path", L"PATH"},       {L"grüße", L"GRÜßE"}, {L"σοφία", L"ΣΟΦΊΑ"},
        {L"привет", L"ПРИВЕТ"}, {L"łódź", L"ŁÓDŹ"},  {L"ÿ", L"Ÿ"},
    };
    for (const auto &c : same) EXPECT_EQ(vsh::NameKey(c.A), vsh::NameKey(c.B)) << c.B;
    EXPECT_NE(vsh::NameKey(L"a"), vsh::NameKey(L"b"));

    const wchar_t *nameChars = L"aZ09_$üΣж世";
    for (const wchar_t *p = nameChars; *p; ++p) EXPECT_TRUE(IsNameCharacter((uint32_t)*p)) << (int)*p;
    const wchar_t *stops = L" %.[]-,\u00D7\u2014\u3001\xDC80";
    for (const wchar_t *p = stops; *p; ++p) EXPECT_FALSE(IsNameCharacter((uint32_t)*p)) << (int)*p;
}

}  // namespace
