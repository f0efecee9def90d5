// Console cells of text: how wide a name, size or stamp shows, and table cells padded
// and cut by cells rather than characters, the same on every build.
#ifndef VESK_TEXT_DISPLAY_WIDTH_H
#define VESK_TEXT_DISPLAY_WIDTH_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

/// What the table and every message show in place of a control character of a name (C0
/// with tab and newline, DEL, C1), a bidirectional control or another invisible format
/// character: an escape sequence must not reach the terminal, a right-to-left override
/// must not turn "invoice\u202Egpj.exe" into what looks like a picture, and a zero-width
/// space must not make two names that look alike.
const wchar_t CONTROL_PLACEHOLDER = L'?';

/// True for what always shows as CONTROL_PLACEHOLDER: U+0000..U+001F, U+007F,
/// U+0080..U+009F and the format characters the Unicode tables mark invisible (the
/// bidirectional controls, U+200B, U+2060, U+FEFF, ...; not U+200C and U+200D, which
/// scripts and emoji need). The tag characters U+E0020..U+E007F depend on their place
/// (ReadShown).
bool IsControlCode(uint32_t c);

/// Where a reading of one text with ReadShown stands: the tag characters of an emoji tag
/// sequence still to come. Plain value; starts as {0}.
struct ShownReading {
    size_t KeptTags;
};

/// Reads the character at text as the table and the messages show it: *c gets its code
/// point and *masked whether it shows as CONTROL_PLACEHOLDER (IsControlCode, or a tag
/// character that is not part of an emoji tag sequence such as a flag: a tag base, one
/// or more tags and the cancel tag). Returns the wchar_t units read, 0 at the terminator.
size_t ReadShown(const wchar_t *text, ShownReading *reading, uint32_t *c, bool *masked);

/// Replaces in place each character of text[0..length) that shows as CONTROL_PLACEHOLDER
/// with one placeholder (a surrogate pair too). Returns the new length; nothing at or
/// after length moves.
size_t MaskControls(wchar_t *text, size_t length);

/// Console cells c takes by the Unicode data: 0 for marks and zero-width characters
/// (the bidirectional controls among them), 2 for East Asian Wide and Fullwidth, 1
/// otherwise (a C0 or C1 control counts as its placeholder, a lone surrogate as one cell).
int CodePointCells(uint32_t c);

/// True when c belongs to the character before it (a mark or a zero-width character),
/// so a cut must not fall just before it.
bool JoinsPrevious(uint32_t c);

/// Reads the code point at text into *c: a surrogate pair is one code point where
/// wchar_t is 16 bits. Returns the wchar_t units read, 0 at the terminator.
size_t ReadCodePoint(const wchar_t *text, uint32_t *c);

/// Console cells of the whole text as a table shows it (0 for null): a character that
/// shows as CONTROL_PLACEHOLDER takes one.
size_t DisplayWidth(const wchar_t *text);

/// Copies text into out (capacity wchar_t units, at least 8, with the terminator). A text
/// that does not fit keeps its start and its end around "..." (a path keeps its root and
/// its last names), never half a surrogate pair. Returns 0, 1 when it was cut, -1 for a
/// missing argument or a smaller out.
int CutInMiddle(wchar_t *out, size_t capacity, const wchar_t *text, size_t length);

/// How FormatCell fits a text into its cells.
enum CellFit {
    CELL_LEFT,      ///< padded with blanks on the right; a wider text is kept whole
    CELL_RIGHT,     ///< padded with blanks on the left; a wider text is kept whole
    CELL_CUT_LEFT,  ///< as CELL_LEFT, but a wider text shows "..." and its end
};

/// Writes text into out (capacity wchar_t units with the terminator) as a table cell of
/// cells console cells, control characters shown as CONTROL_PLACEHOLDER. A cut keeps
/// whole characters (never half a pair, never a mark without its base) and pads with a
/// blank after the "..." where a wide character would not fit, so the cell is exactly
/// cells wide. Returns 0; 1 when out was too small (it then holds what fits, terminated);
/// -1 for a missing text or out.
int FormatCell(wchar_t *out, size_t capacity, const wchar_t *text, int cells, CellFit fit);

#endif
