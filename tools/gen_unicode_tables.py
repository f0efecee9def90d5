#!/usr/bin/env python3
"""Writes src/text/unicode_tables.{h,cpp} and tests/unit/support/unicode_samples.inc from the
Unicode character database (Debian package unicode-data).

    python3 tools/gen_unicode_tables.py [UCD-DIRECTORY]

The tables hold what the console and Windows need and nothing locale-dependent, as
two-stage tables (a page index per 256 code points, then the shared unique pages), so a
look-up is two loads:
- console cells: none for non-spacing and enclosing marks (Mn, Me), format characters (Cf)
  but the soft hyphen, and the Hangul medial vowels and final consonants U+1160..U+11FF,
  which join the syllable before them; two for East Asian Width W or F (with the defaults
  the data file names for unlisted code points in the ideograph blocks and planes 2 and
  3); one for everything else, spacing marks (Mc) included;
- joins: marks and zero-width characters belong to the character before them;
- invisible: the format characters (Cf) a console shows nothing of, which the table and
  the messages show as "?" so that nothing hides in a name: all but the soft hyphen
  (consoles show a hyphen), the joiners U+200C and U+200D and the Mongolian vowel
  separator (scripts and emoji spell with them), the prepended concatenation marks
  (PropList.txt: visible signs spanning the digits after them) and the tag characters
  U+E0020..U+E007F, which an emoji tag sequence needs (a flag) and display_width judges
  in their place;
- tag bases: the characters emoji-sequences.txt begins a tag sequence with;
- letters (L*) and decimal digits (Nd) of the Basic Multilingual Plane;
- simple upper- and lower-case mappings of the Basic Multilingual Plane only, as the
  Windows file-system upcase table: a UTF-16 text never changes length when folded.

The samples file is a check made independently of this script's parsing: a few hundred
code points of each class, with the values Python's own unicodedata module computes
(code points that module does not know yet are left out).
"""
import os
import random
import sys
import unicodedata

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
UCD = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/unicode"


def read_unicode_data():
    """Returns {code point: (category, simple upper, simple lower)}."""
    chars = {}
    first = None
    with open(os.path.join(UCD, "UnicodeData.txt"), encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            cp = int(fields[0], 16)
            name, cat = fields[1], fields[2]
            upper = int(fields[12], 16) if fields[12] else None
            lower = int(fields[13], 16) if fields[13] else None
            if name.endswith(", First>"):
                first = cp
                continue
            if name.endswith(", Last>"):
                for c in range(first, cp + 1):
                    chars[c] = (cat, None, None)
                first = None
                continue
            chars[cp] = (cat, upper, lower)
    return chars


def read_east_asian_width():
    wide = set()
    for lo, hi in ((0x3400, 0x4DBF), (0x4E00, 0x9FFF), (0xF900, 0xFAFF), (0x20000, 0x2FFFD),
                   (0x30000, 0x3FFFD)):
        wide.update(range(lo, hi + 1))
    with open(os.path.join(UCD, "EastAsianWidth.txt"), encoding="utf-8") as f:
        version = f.readline().strip("# \n").replace("EastAsianWidth-", "").replace(".txt", "")
        for line in f:
            line = line.split("#")[0].strip()
            if not line:
                continue
            span, value = [x.strip() for x in line.split(";")]
            lo, _, hi = span.partition("..")
            lo = int(lo, 16)
            hi = int(hi, 16) if hi else lo
            for c in range(lo, hi + 1):
                if value in ("W", "F"):
                    wide.add(c)
                else:
                    wide.discard(c)
    return wide, version


def read_property(path, name):
    """The code points a property file (PropList.txt layout) gives the property name."""
    codes = set()
    with open(os.path.join(UCD, path), encoding="utf-8") as f:
        for line in f:
            line = line.split("#")[0].strip()
            if not line:
                continue
            span, value = [x.strip() for x in line.split(";")[:2]]
            if value != name:
                continue
            lo, _, hi = span.partition("..")
            codes.update(range(int(lo, 16), int(hi or lo, 16) + 1))
    return codes


def read_tag_bases():
    """The first code point of every emoji tag sequence the emoji data lists."""
    bases = set()
    with open(os.path.join(UCD, "emoji", "emoji-sequences.txt"), encoding="utf-8") as f:
        for line in f:
            fields = line.split("#")[0].split(";")
            if len(fields) >= 2 and fields[1].strip() == "RGI_Emoji_Tag_Sequence":
                bases.add(int(fields[0].split()[0], 16))
    return bases


# Format characters that stay as they are: the soft hyphen, the Mongolian vowel
# separator, the zero-width non-joiner and joiner.
VISIBLE_FORMAT = {0x00AD, 0x180E, 0x200C, 0x200D}
TAGS = range(0xE0020, 0xE0080)


def invisible(cat, cp, prepended):
    return cat == "Cf" and cp not in VISIBLE_FORMAT and cp not in prepended and cp not in TAGS


def ranges(codes):
    out = []
    for c in sorted(codes):
        if out and out[-1][1] == c - 1:
            out[-1][1] = c
        else:
            out.append([c, c])
    return out


def width_class(cat, cp, wide):
    """0 zero width, 1 one cell, 2 two cells, 3 spacing mark (one cell, joins)."""
    if cat in ("Mn", "Me") or (cat == "Cf" and cp != 0xAD) or 0x1160 <= cp <= 0x11FF:
        return 0
    if cat == "Mc":
        return 3
    return 2 if cp in wide else 1


CELLS_MASK, JOINS, LETTER, DIGIT, INVISIBLE, TAG_BASE = 3, 4, 8, 16, 32, 64


def paged(values, page_bits=8):
    """Splits values into pages of 2**page_bits entries; returns (index per page, unique
    pages)."""
    size = 1 << page_bits
    pages, index, seen = [], [], {}
    for start in range(0, len(values), size):
        page = tuple(values[start:start + size])
        if page not in seen:
            seen[page] = len(pages)
            pages.append(page)
        index.append(seen[page])
    return index, pages


def emit_array(ctype, name, values, per_line=16):
    lines = ["const %s %s[%d] = {" % (ctype, name, len(values))]
    for start in range(0, len(values), per_line):
        lines.append("    " + " ".join("%d," % v for v in values[start:start + per_line]))
    lines.append("};")
    return lines


def emit_pages(ctype, name, pages):
    lines = ["const %s %s[%d][256] = {" % (ctype, name, len(pages))]
    for page in pages:
        lines.append("    {")
        for start in range(0, 256, 16):
            lines.append("        " + " ".join("%d," % v for v in page[start:start + 16]))
        lines.append("    },")
    lines.append("};")
    return lines


HEADER = """// Generated by tools/gen_unicode_tables.py from the Unicode character database %(v)s.
// Do not edit: run the script again.
#ifndef VESK_TEXT_UNICODE_TABLES_H
#define VESK_TEXT_UNICODE_TABLES_H

#include <stddef.h>
#include <stdint.h>

/// Version of the Unicode data the tables were made from.
extern const char UnicodeTablesVersion[];

/// Properties of one code point, packed in a byte.
enum : uint8_t {
    UNICODE_CELLS_MASK = 3,  ///< console cells: 0 (marks, zero width), 1, or 2 (wide)
    UNICODE_JOINS = 4,       ///< belongs to the character before it (a mark, zero width)
    UNICODE_LETTER = 8,      ///< a letter (L*) of the Basic Multilingual Plane
    UNICODE_DIGIT = 16,      ///< a decimal digit (Nd) of the Basic Multilingual Plane
    UNICODE_INVISIBLE = 32,  ///< a format character shown as "?" (see the script)
    UNICODE_TAG_BASE = 64,   ///< begins an emoji tag sequence (a flag)
};

/// Two-stage tables: the page of code point c is PropertyPageOf[c >> 8], its entry
/// [c & 0xFF]. Case pages hold (mapping - c) modulo 65536 for the Basic Multilingual
/// Plane.
extern const uint8_t PropertyPageOf[%(pp)d];
extern const uint8_t PropertyPages[%(np)d][256];
extern const uint8_t UpperPageOf[256];
extern const uint16_t UpperPages[%(nu)d][256];
extern const uint8_t LowerPageOf[256];
extern const uint16_t LowerPages[%(nl)d][256];

/// The property byte of c; a value beyond U+10FFFF is one cell and nothing else.
inline uint8_t UnicodeProperties(uint32_t c)
{
    return c > 0x10FFFF ? 1 : PropertyPages[PropertyPageOf[c >> 8]][c & 0xFF];
}

/// Simple upper and lower case of a Basic Multilingual Plane code point c (c <= 0xFFFF).
inline uint32_t UnicodeUpper(uint32_t c)
{
    return (c + UpperPages[UpperPageOf[c >> 8]][c & 0xFF]) & 0xFFFF;
}
inline uint32_t UnicodeLower(uint32_t c)
{
    return (c + LowerPages[LowerPageOf[c >> 8]][c & 0xFF]) & 0xFFFF;
}

#endif
"""


def main():
    chars = read_unicode_data()
    wide, version = read_east_asian_width()
    prepended = read_property("PropList.txt", "Prepended_Concatenation_Mark")
    tag_bases = read_tag_bases()

    props = [0] * 0x110000
    upper = [0] * 0x10000
    lower = [0] * 0x10000
    for cp in range(0x110000):
        cat, up, low = chars.get(cp, ("Cn", None, None))
        w = width_class(cat, cp, wide)
        value = {0: JOINS, 1: 1, 2: 2, 3: 1 | JOINS}[w]
        if invisible(cat, cp, prepended):
            value |= INVISIBLE
        if cp in tag_bases:
            value |= TAG_BASE
        if cp <= 0xFFFF:
            if cat.startswith("L"):
                value |= LETTER
            if cat == "Nd":
                value |= DIGIT
            if up is not None and up <= 0xFFFF:
                upper[cp] = (up - cp) & 0xFFFF
            if low is not None and low <= 0xFFFF:
                lower[cp] = (low - cp) & 0xFFFF
        props[cp] = value

    prop_index, prop_pages = paged(props)
    up_index, up_pages = paged(upper)
    low_index, low_pages = paged(lower)
    assert max(len(prop_pages), len(up_pages), len(low_pages)) <= 256

    with open(os.path.join(ROOT, "src/text/unicode_tables.h"), "w") as f:
        f.write(HEADER % {"v": version, "pp": len(prop_index), "np": len(prop_pages),
                          "nu": len(up_pages), "nl": len(low_pages)})

    out = ["// Generated by tools/gen_unicode_tables.py from the Unicode character database %s."
           % version, "// Do not edit: run the script again.",
           '#include "text/unicode_tables.h"', "",
           'const char UnicodeTablesVersion[] = "%s";' % version, ""]
    out += emit_array("uint8_t", "PropertyPageOf", prop_index) + [""]
    out += emit_pages("uint8_t", "PropertyPages", prop_pages) + [""]
    out += emit_array("uint8_t", "UpperPageOf", up_index) + [""]
    out += emit_pages("uint16_t", "UpperPages", up_pages) + [""]
    out += emit_array("uint8_t", "LowerPageOf", low_index) + [""]
    out += emit_pages("uint16_t", "LowerPages", low_pages)
    with open(os.path.join(ROOT, "src/text/unicode_tables.cpp"), "w") as f:
        f.write("\n".join(out) + "\n")

    write_samples(chars)


def python_view(cp):
    """Width class, upper, lower, letter, digit of cp as Python's own database has them,
    or None when Python does not know cp."""
    ch = chr(cp)
    cat = unicodedata.category(ch)
    if cat == "Cn":
        return None
    if cat in ("Mn", "Me") or (cat == "Cf" and cp != 0xAD) or 0x1160 <= cp <= 0x11FF:
        width = 0
    elif unicodedata.east_asian_width(ch) in ("W", "F"):
        width = 2
    else:
        width = 1
    up = cp
    low = cp
    if cp <= 0xFFFF:
        u, lw = ch.upper(), ch.lower()
        # Only one-to-one mappings are simple ones; the others differ by design.
        if len(u) == 1 and ord(u) <= 0xFFFF:
            up = ord(u)
        elif len(u) != 1:
            return None
        if len(lw) == 1 and ord(lw) <= 0xFFFF:
            low = ord(lw)
        elif len(lw) != 1:
            return None
    letter = cp <= 0xFFFF and cat.startswith("L")
    digit = cp <= 0xFFFF and cat == "Nd"
    return width, up, low, letter, digit


def write_samples(chars):
    rng = random.Random(20240501)
    classes = {}
    for cp in range(0x110000):
        if 0xD800 <= cp <= 0xDFFF:
            continue
        cat = chars.get(cp, ("Cn",))[0]
        if cat == "Cn":
            continue
        view = python_view(cp)
        if view is None:
            continue
        width, up, low, letter, digit = view
        key = ("w%d" % width, "case" if (up != cp or low != cp) else "", "L" if letter else "",
               "Nd" if digit else "")
        classes.setdefault(key, []).append(cp)
    picked = set()
    for key in sorted(classes):
        members = classes[key]
        picked.update(rng.sample(members, min(120, len(members))))
    lines = ["// Generated by tools/gen_unicode_tables.py from Python's unicodedata %s."
             % unicodedata.unidata_version,
             "// code point, cells, simple upper, simple lower, letter, digit"]
    for cp in sorted(picked):
        width, up, low, letter, digit = python_view(cp)
        lines.append("{0x%04X, %d, 0x%04X, 0x%04X, %d, %d}," % (cp, width, up, low, int(letter),
                                                               int(digit)))
    with open(os.path.join(ROOT, "tests/unit/support/unicode_samples.inc"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
