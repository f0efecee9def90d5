// The command's ends that leave no trace an end-to-end transcript can see: the plug-in-
// wide state after failures and help, and the message of every refused argument.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host_test_util.h"
#include "commands/help_texts.h"
#include "memory.h"
#include "plugins.h"
#include "plugin/exports.h"
#include "plugin/host_api.h"
#include "state/plugin_state.h"
#include "vesk_version.h"


namespace {

int RunVesk(std::wstring text, std::string *out, std::string *err)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int result = vesk(&text[0]);
    *err = testing::internal::GetCapturedStderr();
    *out = testing::internal::GetCapturedStdout();
    return result;
}

bool EndsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct FailureCase {
    std::wstring Arguments;
    std::string Message;  // after the error prefix; "\r\n" reaches Linux as "\n"
};

TEST(VeskCommandTest, RefusedArgumentsLeaveStateUntouched)
{
    const std::wstring longSeparator = L"/C:" + std::wstring(1024, L'x');
    const FailureCase cases[] = {
        {L"/O /N x", "Too many criteria \"/N\"\n"},
        {L"largest /b x", "Too many criteria \"/B\"\n"},
        {L"/T x", "Unknown file stamp \"/T\"\n"},
        {L"/T: x", "Unknown file stamp \"/T:\"\n"},
        {L"/tx x", "Unknown file stamp \"/TX\"\n"},
        {L"/a:q x", "Bad attributes \"/A:Q\"\n"},
        {L"/A:+ x", "Bad attributes \"/A:+\"\n"},
        {L"/V: x", "Bad width \"/V:\"\n"},
        {L"/vx x", "Bad width \"/VX\"\n"},
        {L"/V:79 x", "Width must be 0 or 80 - 1024\n"},
        {L"/V:1025 x", "Width must be 0 or 80 - 1024\n"},
        {L"/nx x", "Unknown option \"/NX\"\n"},
        {L"/ncq x", "Unknown option \"/NCQ\"\n"},
        {L"/q x", "Unknown option \"/Q\"\n"},
        {L"/ x", "Unknown option \"/\"\n"},
        {L"10 largest x /usr/share", "Unknown option \"/USR\"\n"},
        {L"10 largest x \"/usr/share\"", "Unknown option \"/USR/SHARE\"\n"},
        {L"", "Missing array name\n"},
        {L"5 /R", "Missing array name\n"},
        {L"4097 x", "Too many items (1 - 4096)\n"},
        {L"5 3 list", "Bad array name \"3\"\n"},
        {L"%", "Bad array name \"%\"\n"},
        {L"_x", "Bad array name \"_X\"\n"},
        {L"a-b", "Bad array name \"A-B\"\n"},
        {L"%%x", "Bad array name \"%X\"\n"},
        {longSeparator + L" x", "Time separator too long (0 - 1023)\n"},
        {std::wstring(4100, L'a'), "Array name too long \"" + std::string(4100, 'A') + "\"\n"},
        // An error before a help request wins; range nodes made before it are freed.
        {L"/q /?", "Unknown option \"/Q\"\n"},
        {L"/[S10k] /[!*.bak] /Ifoo /!Ibar /q x", "Unknown option \"/Q\"\n"},
        {L"/[S10k] 4097 x", "Too many items (1 - 4096)\n"},
    };
    const long liveAtStart = LiveMemoryBlocks();
    for (const FailureCase &c : cases) {
        LastCount = 77;
        ScreenWidth = 55;
        std::string out, err;
        EXPECT_EQ(1, RunVesk(c.Arguments, &out, &err)) << err;
        EXPECT_EQ(0u, err.find("Vesk plugin: ")) << err;
        EXPECT_TRUE(EndsWith(err, c.Message)) << "got: " << err << " want: " << c.Message;
        EXPECT_EQ("", out);
        EXPECT_EQ(77, LastCount);
        EXPECT_EQ(55, ScreenWidth);
        EXPECT_EQ(liveAtStart, LiveMemoryBlocks()) << "results left allocated";
    }
}

TEST(VeskCommandTest, HelpRequests)
{
    std::string help;
    for (const wchar_t *p = CommandHelp; *p; ++p) help += (char)*p;
    std::string helpOnLinux;  // "\r\n" is written as "\n"
    for (size_t i = 0; i < help.size(); ++i)
        if (!(help[i] == '\r' && i + 1 < help.size() && help[i + 1] == '\n')) helpOnLinux += help[i];

    // The four numbers, and a label that tells a build of the work tree from the release.
    std::string shown;
    for (const wchar_t *p = VESK_VERSION_SHOWN; *p; ++p) shown += (char)*p;
    EXPECT_EQ(0u, shown.find(VESK_VERSION_FULL));
    EXPECT_TRUE(shown == VESK_VERSION_FULL || shown.find("-dev", strlen(VESK_VERSION_FULL)) ==
                                                  strlen(VESK_VERSION_FULL))
        << shown;
    struct {
        std::wstring Arguments;
        std::string Out;
    } cases[] = {
        {L"/?", helpOnLinux},
        {L"5 largest x /?", helpOnLinux},
        {L"/? /q", helpOnLinux},
        {L"/[S1k] /?", helpOnLinux},
        {L"/??", helpOnLinux + "\n\t\t\t\tVesk  " + shown + " (x64)\n"},
    };
    for (const auto &c : cases) {
        LastCount = 12;
        ScreenWidth = 34;
        std::string out, err;
        EXPECT_EQ(0, RunVesk(c.Arguments, &out, &err));
        EXPECT_EQ(c.Out, out);
        EXPECT_EQ("", err);
        EXPECT_EQ(12, LastCount);
        EXPECT_EQ(34, ScreenWidth);
    }
    EXPECT_EQ(-1, vesk(nullptr));
}

class VeskRowsTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        char pattern[] = "/tmp/vesk_rows_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir = pattern;
        ASSERT_NE(nullptr, getcwd(saved, sizeof saved));
        ASSERT_EQ(0, chdir(pattern));
    }
    void TearDown() override
    {
        ShellTest::TearDown();
        if (chdir(saved) != 0) ADD_FAILURE() << "cannot return to " << saved;
        if (!dir.empty()) RunCaptured("rm -rf '" + dir + "'");
    }
    void MakeFile(const std::string &name, size_t size)
    {
        FILE *f = fopen((dir + "/" + name).c_str(), "wb");
        ASSERT_NE(nullptr, f);
        for (size_t i = 0; i < size; ++i) fputc('x', f);
        fclose(f);
    }
    static std::string RunCaptured(const std::string &command)
    {
        FILE *pipe = popen(command.c_str(), "r");
        if (pipe != nullptr) pclose(pipe);
        return "";
    }
    std::wstring Cell(const wchar_t *array, int row, int column)
    {
        vsh::ArrayVariable *a = vsh::FindArray(array);
        if (a == nullptr || a->Dims.size() != 2 || (size_t)row >= a->Dims[0]) return L"<none>";
        return a->Cells[(size_t)row * 3 + (size_t)column];
    }
    /// Every cell of one column of an n-by-3 array, in row order; empty when there is none.
    std::vector<std::wstring> Column(const wchar_t *array, int column)
    {
        std::vector<std::wstring> cells;
        vsh::ArrayVariable *a = vsh::FindArray(array);
        if (a == nullptr || a->Dims.size() != 2 || a->Dims[1] != 3) return cells;
        for (size_t row = 0; row < a->Dims[0]; ++row) cells.push_back(a->Cells[row * 3 + (size_t)column]);
        return cells;
    }
    std::string dir;
    char saved[4096];
};

// Rows that cannot be stored exactly are left out whole, wherever they stand.
TEST_F(VeskRowsTest, RefusedRowsLeaveNoGapAndAreCountedNowhere)
{
    MakeFile("big&one", 400);
    MakeFile("mid", 300);
    MakeFile("a|b", 200);
    MakeFile("tiny", 100);
    // The escape character switched off: a separator or a pipe cannot be given exactly.
    vsh::SetVariable(L"_expansion", L"8");
    LastCount = -5;
    std::wstring arguments = L"/V:80 4 rows";
    EXPECT_EQ(2, vesk(&arguments[0]));

    EXPECT_EQ(2, LastCount);
    EXPECT_EQ((std::vector<std::wstring>{L"mid", L"tiny"}), Column(L"ROWS", 0));
    EXPECT_EQ((std::vector<std::wstring>{L"300", L"100"}), Column(L"ROWS", 1));
    EXPECT_NE(L"", Cell(L"ROWS", 1, 2));

    // One message per refused file, naming its place in the result and the culprit.
    const std::wstring first = L"Vesk plugin: Result row 0 not stored, \"big&one\": its name holds \"&\"";
    const std::wstring second = L"Vesk plugin: Result row 2 not stored, \"a|b\": its name holds \"|\"";
    EXPECT_EQ(0u, err.find(first)) << std::string(err.begin(), err.end());
    EXPECT_NE(std::wstring::npos, err.find(second));
    EXPECT_EQ(2, (int)std::count(err.begin(), err.end(), L'\n'));
    // The table and the summary count the stored rows only.
    EXPECT_NE(std::wstring::npos, out.find(L"0  mid"));
    EXPECT_NE(std::wstring::npos, out.find(L"1  tiny"));
    EXPECT_EQ(std::wstring::npos, out.find(L"2  "));
    EXPECT_NE(std::wstring::npos, out.find(L"2 largest files vesked into ROWS[2,3]."));

    // Every row refused: the array is gone, the count is 0, and the summary says the
    // file was found.
    err.clear();
    out.clear();
    arguments = L"4 rows *|*";
    EXPECT_EQ(2, vesk(&arguments[0]));
    EXPECT_EQ(nullptr, vsh::FindArray(L"ROWS"));
    EXPECT_EQ(0, LastCount);
    EXPECT_EQ(L"1 matching file found, none stored.\n", out);

    // Under the defaults every one of them is stored exactly.
    vsh::SetVariable(L"_expansion", L"");
    err.clear();
    arguments = L"4 rows";
    EXPECT_EQ(0, vesk(&arguments[0]));
    EXPECT_EQ(L"", err);
    EXPECT_EQ(L"big&one", Cell(L"ROWS", 0, 0));
    EXPECT_EQ(L"a|b", Cell(L"ROWS", 2, 0));
    EXPECT_EQ(4, LastCount);
}

/// An export of the other plug-in that RegisterOther registers.
struct OtherExport {
    const char *Name;
    void *Entry;
};
const wchar_t *OtherNames = L"";
const OtherExport *OtherExports = nullptr;

PluginInfo *HOST_CALL OtherInfo(void)
{
    static struct {
        PluginInfo Record;
        void *ShellPart[PLUGIN_INFO_SHELL_SLOTS];
    } info = {};
    info.Record = {L"Other", L"", L"", L"", L"", OtherNames, 1, 0, 0};
    return &info.Record;
}

int HOST_CALL Started(void) { return 0; }
void *FindOtherExport(void *, const char *name)
{
    for (const OtherExport *e = OtherExports; e->Name != nullptr; ++e)
        if (strcmp(e->Name, name) == 0) return e->Entry;
    return nullptr;
}

/// Registers a plug-in implementing names (as its identity lists them) by exports (which
/// end in a null name and outlive the call). Its commands and functions come before the
/// shell's own of the same name, as another plug-in's do in the real shell.
int RegisterOther(const wchar_t *names, const OtherExport *exports)
{
    OtherNames = names;
    OtherExports = exports;
    vsh::PluginExports other = {OtherInfo, Started, nullptr, nullptr, nullptr, FindOtherExport};
    return vsh::RegisterPlugin(L"other", nullptr, other);
}

// A "set" that refuses every value holding "bad", as a shell might refuse a line; past
// CellsLeft cells (-1: no limit) it refuses every line, as a shell short of memory.
int CellsLeft = -1;
int HOST_CALL RefusingSet(wchar_t *arguments)
{
    std::wstring text(arguments);
    size_t open = text.find(L'['), close = text.find(L"]=");
    if (text.find(L"bad") != std::wstring::npos || open == std::wstring::npos ||
        close == std::wstring::npos || CellsLeft == 0)
        return 1;
    vsh::ArrayVariable *array = vsh::FindArray(text.substr(0, open));
    size_t cell = 0;
    std::wstring message;
    if (array == nullptr ||
        vsh::ArrayCellIndex(*array, text.substr(open + 1, close - open - 1), &cell, &message) != 0)
        return 1;
    array->Cells[cell] = text.substr(close + 2);
    if (CellsLeft > 0) --CellsLeft;
    return 0;
}

// What the shell refuses is found out, not assumed: the row is dropped, the array
// written again without it, and the summary, _VESK and the result say so.
TEST_F(VeskRowsTest, RowsTheShellRefusesAreDroppedAndTheArrayRebuilt)
{
    MakeFile("good1", 30);
    MakeFile("bad1", 20);
    MakeFile("good2", 10);
    MakeFile("bad2", 5);
    static const OtherExport refusing[] = {{"set", (void *)RefusingSet}, {}};
    ASSERT_EQ(0, RegisterOther(L"set", refusing));

    std::wstring arguments = L"5 rows";
    EXPECT_EQ(2, vesk(&arguments[0]));
    EXPECT_EQ(2, LastCount);
    EXPECT_EQ((std::vector<std::wstring>{L"good1", L"good2"}), Column(L"ROWS", 0));
    EXPECT_EQ((std::vector<std::wstring>{L"30", L"10"}), Column(L"ROWS", 1));
    EXPECT_NE(std::wstring::npos, err.find(L"Result row 1 not stored, \"bad1\": the shell refused its line"));
    EXPECT_NE(std::wstring::npos, err.find(L"Result row 3 not stored, \"bad2\""));
    EXPECT_NE(std::wstring::npos, out.find(L"2 largest files vesked into ROWS[2,3]."));

    out.clear();
    arguments = L"5 rows bad*";
    EXPECT_EQ(2, vesk(&arguments[0]));
    EXPECT_EQ(nullptr, vsh::FindArray(L"ROWS"));
    EXPECT_EQ(0, LastCount);
    EXPECT_EQ(L"2 matching files found, none stored.\n", out);
}

// A "setarray" that refuses every declaration while DeclarationsRefused, as a shell short
// of memory.
bool DeclarationsRefused = false;
int HOST_CALL ShortSetArray(wchar_t *arguments)
{
    std::wstring message;
    return DeclarationsRefused ? 1 : vsh::DefineArray(arguments, &message);
}

// The shell refusing the declaration, or running short of memory while the rows are
// written and again when they are written without the rows it refused: no array is left,
// half made or old, and the last message says which.
TEST_F(VeskRowsTest, AnArrayTheShellRefusesIsNotLeftHalfMade)
{
    MakeFile("a", 30);
    MakeFile("b", 20);
    MakeFile("c", 10);
    static const OtherExport shortOfMemory[] = {
        {"set", (void *)RefusingSet}, {"setarray", (void *)ShortSetArray}, {}};
    ASSERT_EQ(0, RegisterOther(L"set,setarray", shortOfMemory));
    const struct {
        bool Refused;
        int Cells;
        std::wstring Err;
    } cases[] = {
        {true, -1, L"Vesk plugin: Nothing stored in ROWS: the shell refused to replace the array\r\n"},
        {false, 4,
         L"Vesk plugin: Result row 1 not stored, \"b\": the shell refused its line\r\n"
         L"Vesk plugin: Result row 2 not stored, \"c\": the shell refused its line\r\n"
         L"Vesk plugin: Nothing stored in ROWS: the shell refused to fill the array\r\n"},
    };
    for (const auto &c : cases) {
        std::wstring message;
        ASSERT_EQ(0, vsh::DefineArray(L"ROWS[1,3]", &message));
        DeclarationsRefused = c.Refused;
        CellsLeft = c.Cells;
        out.clear();
        err.clear();
        std::wstring arguments = L"5 rows";
        EXPECT_EQ(2, vesk(&arguments[0]));
        EXPECT_EQ(c.Err, err);
        EXPECT_EQ(L"3 matching files found, none stored.\n", out);
        EXPECT_EQ(nullptr, vsh::FindArray(L"ROWS"));
        EXPECT_EQ(0, LastCount);
    }
    DeclarationsRefused = false;
    CellsLeft = -1;
}

// An "unsetarray" that removes the array, yet ends in an error code whether or not there
// was one, as a shell may for a missing array even under /Q.
int HOST_CALL GrumblingUnset(wchar_t *arguments)
{
    std::wstring text(arguments);
    size_t name = text.rfind(L' ');
    vsh::RemoveArray(name == std::wstring::npos ? text : text.substr(name + 1));
    return 1;
}

// The removal's error code alone does not stop the command: the declaration that follows
// says whether the array could be written, new or replacing an old one.
TEST_F(VeskRowsTest, AnUnsetArrayErrorCodeAloneStoresAsUsual)
{
    MakeFile("big", 30);
    MakeFile("small", 10);
    static const OtherExport grumbling[] = {{"unsetarray", (void *)GrumblingUnset}, {}};
    ASSERT_EQ(0, RegisterOther(L"unsetarray", grumbling));
    const struct {
        const wchar_t *Arguments;
        std::vector<std::wstring> Names;
    } runs[] = {{L"5 fresh", {L"big", L"small"}}, {L"1 fresh", {L"big"}}};
    for (const auto &run : runs) {
        std::wstring arguments = run.Arguments;
        EXPECT_EQ(0, vesk(&arguments[0])) << run.Arguments;
        EXPECT_EQ(run.Names, Column(L"FRESH", 0)) << run.Arguments;
        EXPECT_EQ((int)run.Names.size(), LastCount) << run.Arguments;
    }
}

// An "@upper" that answers OddUpperAnswer, or fails while that is null.
const wchar_t *OddUpperAnswer = nullptr;
int HOST_CALL OddUpper(wchar_t *buffer)
{
    if (OddUpperAnswer == nullptr) return 1;
    wcscpy(buffer, OddUpperAnswer);
    return 0;
}

// Under either reading of a function's result, with nested expansion on or off, the
// shell's own expansion of @VESK gives the path exactly; where the shell cannot be
// asked (the escape character is part of the question, or it does not tell its escape
// character) a path holding "%" is refused by name, never returned changed.
TEST_F(VeskRowsTest, FunctionResultHoldingPercentUnderEveryReading)
{
    MakeFile("report%20final.pdf", 10);
    static const OtherExport functionOnly[] = {{"f_vesk", (void *)f_vesk}, {}};
    ASSERT_EQ(0, RegisterOther(L"@vesk", functionOnly));
    const std::wstring path = std::wstring(dir.begin(), dir.end()) + L"/report%20final.pdf";
    const struct {
        bool Reread, PseudoVariables;
        const wchar_t *Setdos;
        bool Returned;
    } cases[] = {
        {true, true, L"/x0", true},   {false, true, L"/x0", true},
        {true, true, L"/x-4", true},  {false, true, L"/x-4", true},
        {true, true, L"/x-38", true}, {false, true, L"/e@", false},
        {true, false, L"/x0", false},
    };
    for (const auto &c : cases) {
        vsh::Shell.EscapeChar = L'^';
        ASSERT_EQ(0, Command((std::wstring(L"setdos /x0 ") + c.Setdos).c_str(), 0));
        vsh::Shell.Reading.RereadFunctionResults = c.Reread;
        vsh::Shell.PseudoVariables = c.PseudoVariables;
        err.clear();
        std::wstring got = Expand(L"%@vesk[*.pdf]");
        std::string where = std::to_string(c.Reread) + std::to_string(c.PseudoVariables) + " " +
                            std::string(c.Setdos, c.Setdos + wcslen(c.Setdos));
        EXPECT_EQ(c.Returned ? path : L"<failed>", got) << where;
        EXPECT_EQ(!c.Returned, err.find(L"Name not returned") != std::wstring::npos) << where;
        vsh::Shell.PseudoVariables = true;
    }

    // An @UPPER that answers neither "%" nor "%%", or fails, shows no reading either.
    ASSERT_EQ(0, Command(L"setdos /x0", 0));
    static const OtherExport odd[] = {{"f_upper", (void *)OddUpper}, {}};
    ASSERT_EQ(0, RegisterOther(L"@upper", odd));
    for (const wchar_t *answer : {L"", L"?", (const wchar_t *)nullptr}) {
        OddUpperAnswer = answer;
        err.clear();
        EXPECT_EQ(L"<failed>", Expand(L"%@vesk[*.pdf]")) << (answer ? answer : L"(fails)");
        EXPECT_EQ(L"Vesk plugin: Name not returned, \"" + path + L"\": it holds \"%\", and the "
                  L"shell did not show whether it reads a function's result again\r\n", err);
    }
}

// An array name holding the separator is escaped in every line; with the escape
// character off it cannot be given at all and is refused before the scan.
TEST_F(VeskRowsTest, ArrayNameHoldingTheSeparator)
{
    MakeFile("one", 10);
    ASSERT_EQ(0, Command(L"setdos /c$", 0));
    std::wstring arguments = L"5 a$b";
    EXPECT_EQ(0, vesk(&arguments[0])) << std::string(err.begin(), err.end());
    EXPECT_EQ(L"one", Cell(L"A$B", 0, 0));
    EXPECT_EQ(1, LastCount);

    ASSERT_EQ(0, Command(L"setdos /x-8", 0));
    err.clear();
    arguments = L"5 c$d";
    EXPECT_EQ(1, vesk(&arguments[0]));
    EXPECT_EQ(0u, err.find(L"Vesk plugin: Bad array name \"C$D\": holds \"$\""));
    EXPECT_EQ(nullptr, vsh::FindArray(L"C$D"));
    EXPECT_EQ(1, LastCount);
}

/// The vshell built beside this test program, or empty when there is none.
std::string ShellBesideUs()
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "";
    self[n] = '\0';
    std::string path(self);
    path = path.substr(0, path.rfind('/') + 1) + "vshell";
    return access(path.c_str(), X_OK) == 0 ? path : "";
}

std::string RunCaptured(const std::string &command)
{
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
    pclose(pipe);
    return out;
}

/// The "ScreenWidth" line of the settings listing, or -1.
int ListedWidth(const std::string &out)
{
    size_t at = out.find("ScreenWidth: ");
    if (at == std::string::npos) return -1;
    return atoi(out.c_str() + at + 13);
}

// The console is measured on the terminal itself, so this runs the shell in a pseudo-
// terminal of a known size.
TEST(VeskCommandTest, ConsoleWidthThroughAPseudoTerminal)
{
    std::string shell = ShellBesideUs();
    if (shell.empty() || access("/usr/bin/script", X_OK) != 0)
        GTEST_SKIP() << "needs vshell beside the tests and script(1)";
    const std::string listing = " -c 'vesk /$ 1 x nothing-matches-this'";
    struct {
        int Columns;
        int Expected;
    } cases[] = {{120, 120}, {40, 40}, {1024, 1024}, {39, 0}, {1025, 0}};
    for (const auto &c : cases) {
        std::string command = "script -qec \"stty cols " + std::to_string(c.Columns) +
                              " rows 30; " + shell + listing + "\" /dev/null </dev/null 2>&1";
        EXPECT_EQ(c.Expected, ListedWidth(RunCaptured(command))) << c.Columns << " columns";
    }
    // Output into a pipe: no console.
    EXPECT_EQ(0, ListedWidth(RunCaptured(shell + listing + " 2>&1")));
}

}  // namespace
