#include "text/display_width.h"

#include "text/unicode_tables.h"

namespace {

/// Cells c takes as shown: a bidirectional control has none of its own, but its
/// placeholder has one, and it belongs to no character before it.
size_t ShownCells(uint32_t c) { return IsControlCode(c) ? 1 : (size_t)CodePointCells(c); }

bool ShownJoining(uint32_t c) { return !IsControlCode(c) && JoinsPrevious(c); }


/// Appends to a bounded buffer; remembers when something did not fit.
struct CellWriter {
    wchar_t *Out;
    size_t Capacity;
    size_t Length;
    bool Full;
};

void Put(CellWriter *w, wchar_t c)
{
    if (w->Length + 1 >= w->Capacity) {
        w->Full = true;
        return;
    }
    w->Out[w->Length++] = c;
}

void PutBlanks(CellWriter *w, size_t n)
{
    for (size_t i = 0; i < n; ++i) Put(w, L' ');
}

/// Copies text from start to its end, controls replaced. A pair is copied only whole.
void PutText(CellWriter *w, const wchar_t *text)
{
    uint32_t c;
    size_t units;
    while ((units = ReadCodePoint(text, &c)) != 0) {
        if (IsControlCode(c)) {
            Put(w, CONTROL_PLACEHOLDER);
        } else if (w->Length + units < w->Capacity) {
            for (size_t i = 0; i < units; ++i) w->Out[w->Length++] = text[i];
        } else {
            w->Full = true;
        }
        text += units;
    }
}

/// Position of the first character of the shortest tail of text, starting a whole
/// character, whose cells fit room; *tailCells receives its width.
const wchar_t *FittingTail(const wchar_t *text, size_t total, size_t room, size_t *tailCells)
{
    const wchar_t *p = text;
    size_t skipped = 0;
    uint32_t c;
    size_t units;
    while (total - skipped > room && (units = ReadCodePoint(p, &c)) != 0) {
        // Skip one base character with everything that joins it.
        skipped += ShownCells(c);
        p += units;
        while ((units = ReadCodePoint(p, &c)) != 0 && ShownJoining(c)) {
            skipped += ShownCells(c);
            p += units;
        }
    }
    *tailCells = total - skipped;
    return p;
}

}  // namespace

bool IsControlCode(uint32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

int CodePointCells(uint32_t c) { return UnicodeProperties(c) & UNICODE_CELLS_MASK; }

bool JoinsPrevious(uint32_t c) { return (UnicodeProperties(c) & UNICODE_JOINS) != 0; }

int CutInMiddle(wchar_t *out, size_t capacity, const wchar_t *text, size_t length)
{
    if (out == nullptr || text == nullptr || capacity < 8) return -1;
    if (length < capacity) {
        wmemcpy(out, text, length);
        out[length] = L'\0';
        return 0;
    }
    // A third for the start, the rest for the end: the last names tell most.
    size_t room = capacity - 4;
    size_t head = room / 3;
    size_t tail = room - head;
    auto isLow = [](wchar_t c) { return ((uint32_t)c & 0xFC00) == 0xDC00 && sizeof(wchar_t) == 2; };
    if (head > 0 && isLow(text[head])) --head;
    size_t tailStart = length - tail;
    if (isLow(text[tailStart])) ++tailStart;
    wmemcpy(out, text, head);
    wmemcpy(out + head, L"...", 3);
    wmemcpy(out + head + 3, text + tailStart, length - tailStart);
    out[head + 3 + (length - tailStart)] = L'\0';
    return 1;
}

size_t ReadCodePoint(const wchar_t *text, uint32_t *c)
{
    uint32_t u = (uint32_t)text[0];
    if (sizeof(wchar_t) == 2) u &= 0xFFFF;
    if (u == 0) {
        *c = 0;
        return 0;
    }
    if (sizeof(wchar_t) == 2 && u >= 0xD800 && u <= 0xDBFF) {
        uint32_t low = (uint32_t)text[1] & 0xFFFF;
        if (low >= 0xDC00 && low <= 0xDFFF) {
            *c = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            return 2;
        }
    }
    *c = u;
    return 1;
}

size_t DisplayWidth(const wchar_t *text)
{
    if (text == nullptr) return 0;
    size_t cells = 0;
    uint32_t c;
    size_t units;
    while ((units = ReadCodePoint(text, &c)) != 0) {
        cells += ShownCells(c);
        text += units;
    }
    return cells;
}

int FormatCell(wchar_t *out, size_t capacity, const wchar_t *text, int cells, CellFit fit)
{
    if (out == nullptr || text == nullptr || capacity == 0) return -1;
    CellWriter w = {out, capacity, 0, false};
    size_t want = cells > 0 ? (size_t)cells : 0;
    size_t width = DisplayWidth(text);
    if (width <= want || fit != CELL_CUT_LEFT) {
        size_t pad = width < want ? want - width : 0;
        if (fit == CELL_RIGHT) PutBlanks(&w, pad);
        PutText(&w, text);
        if (fit != CELL_RIGHT) PutBlanks(&w, pad);
    } else if (want <= 3) {
        for (size_t i = 0; i < want; ++i) Put(&w, L'.');
    } else {
        size_t tailCells = 0;
        const wchar_t *tail = FittingTail(text, width, want - 3, &tailCells);
        PutText(&w, L"...");
        PutBlanks(&w, want - 3 - tailCells);
        PutText(&w, tail);
    }
    out[w.Length] = L'\0';
    return w.Full ? 1 : 0;
}
