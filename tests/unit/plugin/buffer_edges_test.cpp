// Every bounded writer of the plug-in at its edge: a text that fills its buffer exactly
// and one a character longer, written into a buffer with guard cells after it. A room
// check one off writes a character or a terminator into the guard, which this sees
// without the sanitizer.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "commands/date_stamp.h"
#include "commands/summary_table.h"
#include "plugin/host_api.h"
#include "plugin/result_codes.h"
#include "plugin/shell_line.h"
#include "plugin/shell_syntax.h"
#include "ranges/range_match.h"
#include "text/display_width.h"
#include "text/path_limit.h"
#include "text/wide_format.h"

namespace {

const wchar_t GUARD = L'#';
const size_t GUARD_CELLS = 8;

/// One writer: Write fills out (capacity characters) with the text that takes exactly
/// length characters, and says whether the writer reports it kept whole.
struct Edge {
    const char *Name;
    size_t Capacity;  ///< 0: the writer's own fixed size
    std::function<bool(wchar_t *out, size_t capacity, size_t length)> Write;
};

std::wstring Repeat(wchar_t c, size_t n) { return std::wstring(n, c); }

TEST(BufferEdgesTest, ExactFitIsKeptOneMoreIsRefusedOrCutAndNothingPassesTheEnd)
{
    const ShellSyntax syntax = DefaultShellSyntax();
    const std::vector<Edge> edges = {
        {"FormatText", 16,
         [](wchar_t *out, size_t capacity, size_t length) {
             return (size_t)FormatText(out, capacity, L"%s", Repeat(L'f', length).c_str()) <
                    capacity;
         }},
        {"CutInMiddle", 16,
         [](wchar_t *out, size_t capacity, size_t length) {
             return CutInMiddle(out, capacity, Repeat(L'c', length).c_str(), length) == 0;
         }},
        {"FormatCell", 16,
         [](wchar_t *out, size_t capacity, size_t length) {
             return FormatCell(out, capacity, L"cell", (int)length, CELL_LEFT) == 0;
         }},
        {"EscapeForShell", 16,
         [&syntax](wchar_t *out, size_t capacity, size_t length) {
             // Each "&" takes two characters once escaped.
             std::wstring text = Repeat(L'e', length % 2) + Repeat(L'&', length / 2);
             return EscapeForShell(&syntax, FOR_COMMAND_LINE, text.c_str(), out, capacity,
                                   nullptr) == ESCAPE_FINE;
         }},
        {"DoublePercents", 16,
         [](wchar_t *out, size_t capacity, size_t length) {
             std::wstring text = Repeat(L'p', length % 2) + Repeat(L'%', length / 2);
             return DoublePercents(text.c_str(), out, capacity) == 0;
         }},
        {"ShellLine", 16,
         [&syntax](wchar_t *out, size_t capacity, size_t length) {
             ShellLine line;
             BeginExpression(&line, &syntax, out, capacity);
             // The line's own syntax at both ends: the last character is its own.
             AddLineSyntax(&line, L"%%x");
             AddLineValue(&line, Repeat(L'v', length - 3).c_str());
             AddLineSyntax(&line, L"]");
             return line.Problem == 0;
         }},
        {"JoinPath", PATH_BUFFER_LEN,
         [](wchar_t *out, size_t, size_t length) {
             wcscpy(out, Repeat(L'd', PATH_BUFFER_LEN / 2).c_str());
             return JoinPath(out, Repeat(L'n', length - PATH_BUFFER_LEN / 2 - 1).c_str()) ==
                    RESULT_OK;
         }},
        {"FormatDateStamp", TEXT_BUFFER_LEN,
         [](wchar_t *out, size_t, size_t length) {
             // "2024-05-01", the separator, "12:00:00": the separator sets the length.
             std::wstring separator = Repeat(L's', length - 18);
             FormatDateStamp(out, separator.c_str(), 0, 133590240000000000ULL, 0, 0, 1);
             return wcslen(out) == length;
         }},
    };
    for (const Edge &edge : edges) {
        const size_t capacity = edge.Capacity;
        for (size_t length : {capacity - 1, capacity}) {
            std::vector<wchar_t> buffer(capacity + GUARD_CELLS, GUARD);
            bool whole = edge.Write(buffer.data(), capacity, length);
            const std::string where = std::string(edge.Name) + " " + std::to_string(length);
            EXPECT_EQ(length < capacity, whole) << where;
            EXPECT_LT(wcsnlen(buffer.data(), capacity), capacity) << where;
            for (size_t i = capacity; i < capacity + GUARD_CELLS; ++i)
                ASSERT_EQ(GUARD, buffer[i]) << where << ": written at " << i;
        }
    }
}

// AddCommas works in place in a buffer of TEXT_BUFFER_LEN: 768 digits grouped take 1023
// characters, every one of the buffer's; 769 would take 1025 and are left as they are.
TEST(BufferEdgesTest, AddCommasFillsItsBufferExactly)
{
    for (size_t digits : {768u, 769u}) {
        std::vector<wchar_t> buffer(TEXT_BUFFER_LEN + GUARD_CELLS, GUARD);
        std::wstring number = Repeat(L'9', digits);
        wcscpy(buffer.data(), number.c_str());
        int result = AddCommas(buffer.data());
        EXPECT_EQ(digits == 768 ? COMMAS_ADDED : COMMAS_NO_ROOM, result) << digits;
        EXPECT_EQ(digits == 768 ? (size_t)TEXT_BUFFER_LEN - 1 : digits, wcslen(buffer.data()));
        for (size_t i = TEXT_BUFFER_LEN; i < TEXT_BUFFER_LEN + GUARD_CELLS; ++i)
            ASSERT_EQ(GUARD, buffer[i]) << digits << ": written at " << i;
    }
}

}  // namespace
