// Console cells of text: how wide a name, size or stamp shows, and table cells padded
// and cut by cells rather than characters, the same on every build.
#ifndef VESK_TEXT_DISPLAY_WIDTH_H
#define VESK_TEXT_DISPLAY_WIDTH_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

/// What the table and every message show in place of a control character of a name (C0
/// with tab and newline, DEL, C1) or a bidirectional control: an escape sequence must
/// not reach the terminal, and a right-to-left override must not turn "invoice\u202Egpj.exe"
/// into what looks like a picture.
const wchar_t CONTROL_PLACEHOLDER = L'?';

/// True for what shows as CONTROL_PLACEHOLDER: U+0000..U+001F, U+007F, U+0080..U+009F
/// and the bidirectional controls U+061C, U+200E, U+200F, U+202A..U+202E and
/// U+2066..U+2069.
bool IsControlCode(uint32_t c);

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
