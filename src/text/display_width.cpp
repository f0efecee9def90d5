#include "text/display_width.h"

#include "text/unicode_tables.h"

namespace {

/// The tag characters: an emoji tag sequence's specification, and the cancel tag that
/// ends it.
const uint32_t TAG_FIRST = 0xE0020, TAG_CANCEL = 0xE007F;
/// VARIATION SELECTOR-16, the emoji presentation a tag base may carry before its tags.
const uint32_t EMOJI_PRESENTATION = 0xFE0F;

bool IsTag(uint32_t c) { return c >= TAG_FIRST && c <= TAG_CANCEL; }

/// The tag characters of the emoji tag sequence that follows a tag base at text (its
/// tags and the cancel tag), 0 when none does.
size_t TagSequenceAfter(const wchar_t *text)
{
    uint32_t c;
    size_t units = ReadCodePoint(text, &c);
    if (units != 0 && c == EMOJI_PRESENTATION) units = ReadCodePoint(text += units, &c);
    size_t tags = 0;
    for (; units != 0 && IsTag(c) && c != TAG_CANCEL; ++tags) units = ReadCodePoint(text += units, &c);
    return tags > 0 && units != 0 && c == TAG_CANCEL ? tags + 1 : 0;
}

/// ReadShown, with *props the cells and joining of what it read, as the property byte
/// gives them: one look-up of the tables per character, none for printable ASCII.
// Inlined into each loop: it runs for every character of every cell the table measures.
__attribute__((always_inline)) inline size_t ReadWithProperties(const wchar_t *text,
                                                                ShownReading *reading,
                                                                uint32_t *c, bool *masked,
                                                                uint8_t *props)
{
    uint32_t first = (uint32_t)text[0];
    if (first >= 0x20 && first < 0x7F) {
        // Most of every name: one cell, nothing to mask, no tag base.
        *c = first;
        *masked = false;
        *props = 1;
        reading->KeptTags = 0;
        return 1;
    }
    size_t units = ReadCodePoint(text, c);
    if (units == 0) {
        *masked = false;
        *props = 0;
        reading->KeptTags = 0;
        return 0;
    }
    *props = UnicodeProperties(*c);
    if (IsTag(*c)) {
        // Tags hide text as easily as any zero-width character; only a flag's are kept.
        *masked = reading->KeptTags == 0;
        if (!*masked) --reading->KeptTags;
    } else {
        *masked = *c < 0x20 || (*c >= 0x7F && *c <= 0x9F) || (*props & UNICODE_INVISIBLE) != 0;
        if (*c != EMOJI_PRESENTATION)
            reading->KeptTags = (*props & UNICODE_TAG_BASE) ? TagSequenceAfter(text + units) : 0;
    }
    return units;
}

/// Cells a character takes as shown: a control or format character has none of its own,
/// but its placeholder has one, and it belongs to no character before it.
size_t ShownCells(uint8_t props, bool masked)
{
    return masked ? 1 : (size_t)(props & UNICODE_CELLS_MASK);
}

bool ShownJoining(uint8_t props, bool masked) { return !masked && (props & UNICODE_JOINS) != 0; }

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
    ShownReading reading = {0};
    uint32_t c;
    bool masked;
    size_t units;
    while ((units = ReadShown(text, &reading, &c, &masked)) != 0) {
        if (masked) {
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
    ShownReading reading = {0};
    uint32_t c;
    bool masked;
    size_t units;
    uint8_t props;
    while (total - skipped > room &&
           (units = ReadWithProperties(p, &reading, &c, &masked, &props)) != 0) {
        // Skip one base character with everything that joins it (a flag's tags too).
        skipped += ShownCells(props, masked);
        p += units;
        ShownReading ahead = reading;
        while ((units = ReadWithProperties(p, &ahead, &c, &masked, &props)) != 0 &&
               ShownJoining(props, masked)) {
            skipped += ShownCells(props, masked);
            p += units;
            reading = ahead;
        }
    }
    *tailCells = total - skipped;
    return p;
}

}  // namespace

bool IsControlCode(uint32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
    return (UnicodeProperties(c) & UNICODE_INVISIBLE) != 0;
}

size_t ReadShown(const wchar_t *text, ShownReading *reading, uint32_t *c, bool *masked)
{
    uint8_t props;
    return ReadWithProperties(text, reading, c, masked, &props);
}

size_t MaskControls(wchar_t *text, size_t length)
{
    if (text == nullptr) return 0;
    ShownReading reading = {0};
    size_t in = 0, out = 0;
    uint32_t c;
    bool masked;
    size_t units;
    while (in < length && (units = ReadShown(text + in, &reading, &c, &masked)) != 0) {
        if (in + units > length) {
            // A pair cut by length stays as it is.
            while (in < length) text[out++] = text[in++];
            break;
        }
        if (masked) {
            text[out++] = CONTROL_PLACEHOLDER;
        } else {
            for (size_t i = 0; i < units; ++i) text[out++] = text[in + i];
        }
        in += units;
    }
    return out;
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
    ShownReading reading = {0};
    uint32_t c;
    bool masked;
    size_t units;
    uint8_t props;
    while ((units = ReadWithProperties(text, &reading, &c, &masked, &props)) != 0) {
        cells += ShownCells(props, masked);
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
