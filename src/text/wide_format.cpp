#include "text/wide_format.h"

#include <stdint.h>

namespace {

struct Sink {
    wchar_t *Dest;
    size_t Capacity;
    size_t Length;  // characters the whole output has
};

void Put(Sink *s, wchar_t c)
{
    if (s->Capacity && s->Length + 1 < s->Capacity) s->Dest[s->Length] = c;
    s->Length++;
}

void PutRun(Sink *s, wchar_t c, int n)
{
    while (n-- > 0) Put(s, c);
}

// Digits of v, most significant first, into buf (at least 24 characters); returns count.
int Digits(uint64_t v, unsigned base, bool upper, wchar_t *buf)
{
    const char *set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    wchar_t tmp[24];
    int n = 0;
    do {
        tmp[n++] = (wchar_t)set[v % base];
        v /= base;
    } while (v);
    for (int i = 0; i < n; ++i) buf[i] = tmp[n - 1 - i];
    return n;
}

const int kMaxField = 100000;

struct Spec {
    bool Left, Plus, Space, Zero, Alt;
    int Width;      // -1 when absent
    int Precision;  // -1 when absent
};

void PutPadded(Sink *s, const Spec &sp, const wchar_t *prefix, int prefixLen, const wchar_t *body,
               int bodyLen, int zeros)
{
    int total = prefixLen + zeros + bodyLen;
    int pad = sp.Width > total ? sp.Width - total : 0;
    if (!sp.Left) PutRun(s, L' ', pad);
    for (int i = 0; i < prefixLen; ++i) Put(s, prefix[i]);
    PutRun(s, L'0', zeros);
    for (int i = 0; i < bodyLen; ++i) Put(s, body[i]);
    if (sp.Left) PutRun(s, L' ', pad);
}

void PutInteger(Sink *s, Spec sp, uint64_t magnitude, bool negative, unsigned base, bool upper,
                bool isSigned)
{
    wchar_t body[24];
    int bodyLen = (sp.Precision == 0 && magnitude == 0) ? 0 : Digits(magnitude, base, upper, body);
    wchar_t prefix[3];
    int prefixLen = 0;
    if (isSigned) {
        if (negative) prefix[prefixLen++] = L'-';
        else if (sp.Plus) prefix[prefixLen++] = L'+';
        else if (sp.Space) prefix[prefixLen++] = L' ';
    }
    if (sp.Alt && base == 16 && magnitude) {
        prefix[prefixLen++] = L'0';
        prefix[prefixLen++] = upper ? L'X' : L'x';
    }
    int zeros = 0;
    if (sp.Precision >= 0) {
        if (sp.Precision > bodyLen) zeros = sp.Precision - bodyLen;
    } else if (sp.Zero && !sp.Left && sp.Width > prefixLen + bodyLen) {
        zeros = sp.Width - prefixLen - bodyLen;
    }
    PutPadded(s, sp, prefix, prefixLen, body, bodyLen, zeros);
}

void PutWideText(Sink *s, const Spec &sp, const wchar_t *text)
{
    if (!text) text = L"(null)";
    int len = 0;
    while (text[len] && (sp.Precision < 0 || len < sp.Precision)) ++len;
    PutPadded(s, sp, nullptr, 0, text, len, 0);
}

void PutNarrowText(Sink *s, const Spec &sp, const char *text)
{
    if (!text) text = "(null)";
    int len = 0;
    while (text[len] && (sp.Precision < 0 || len < sp.Precision)) ++len;
    int pad = sp.Width > len ? sp.Width - len : 0;
    if (!sp.Left) PutRun(s, L' ', pad);
    for (int i = 0; i < len; ++i) Put(s, (wchar_t)(unsigned char)text[i]);
    if (sp.Left) PutRun(s, L' ', pad);
}

// Size of an argument, from the letters before the conversion.
enum ArgumentSize { ARG_NARROW = -1, ARG_INT = 0, ARG_SIZE_T = 1, ARG_WIDE = 2, ARG_64 = 64 };

const wchar_t *ReadFlags(const wchar_t *p, Spec *sp)
{
    for (;; ++p) {
        if (*p == L'-') sp->Left = true;
        else if (*p == L'+') sp->Plus = true;
        else if (*p == L' ') sp->Space = true;
        else if (*p == L'0') sp->Zero = true;
        else if (*p == L'#') sp->Alt = true;
        else return p;
    }
}

// Widths and precisions are capped, written ones and argument ones alike, so that a wild
// value can neither overflow nor make the padding loop for long.
int ReadNumber(const wchar_t **p)
{
    int n = 0;
    while (**p >= L'0' && **p <= L'9') {
        if (n < kMaxField) n = n * 10 + (**p - L'0');
        ++*p;
    }
    return n > kMaxField ? kMaxField : n;
}

const wchar_t *ReadWidth(const wchar_t *p, Spec *sp, va_list *args)
{
    if (*p == L'*') {
        int w = va_arg(*args, int);
        if (w < 0) {
            sp->Left = true;
            w = w < -kMaxField ? kMaxField : -w;
        }
        sp->Width = w > kMaxField ? kMaxField : w;
        return p + 1;
    }
    if (*p >= L'0' && *p <= L'9') sp->Width = ReadNumber(&p);
    return p;
}

const wchar_t *ReadPrecision(const wchar_t *p, Spec *sp, va_list *args)
{
    if (*p != L'.') return p;
    ++p;
    if (*p == L'*') {
        int pr = va_arg(*args, int);
        sp->Precision = pr < 0 ? -1 : pr > kMaxField ? kMaxField : pr;
        return p + 1;
    }
    sp->Precision = ReadNumber(&p);
    return p;
}

// I64 and ll are 64-bit; l and h and I32 are the natural int (32-bit); h before s or c
// means narrow text; z and I mean size_t.
const wchar_t *ReadSize(const wchar_t *p, ArgumentSize *size)
{
    *size = ARG_INT;
    if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
        *size = ARG_64;
        return p + 3;
    }
    if (p[0] == L'I' && p[1] == L'3' && p[2] == L'2') return p + 3;
    if (p[0] == L'l' && p[1] == L'l') {
        *size = ARG_64;
        return p + 2;
    }
    if (*p == L'l' || *p == L'w') {
        *size = ARG_WIDE;
        return p + 1;
    }
    if (*p == L'h') {
        *size = ARG_NARROW;
        ++p;
        return *p == L'h' ? p + 1 : p;
    }
    if (*p == L'z' || *p == L'I') {
        *size = ARG_SIZE_T;
        return p + 1;
    }
    return p;
}

void PutSigned(Sink *s, const Spec &sp, ArgumentSize size, va_list *args)
{
    int64_t v;
    if (size == ARG_64) v = va_arg(*args, long long);
    else if (size == ARG_SIZE_T) v = (int64_t)va_arg(*args, intptr_t);
    else v = va_arg(*args, int);
    if (size == ARG_NARROW) v = (short)v;
    uint64_t mag = v < 0 ? (uint64_t)0 - (uint64_t)v : (uint64_t)v;
    PutInteger(s, sp, mag, v < 0, 10, false, true);
}

void PutUnsigned(Sink *s, const Spec &sp, ArgumentSize size, wchar_t conv, va_list *args)
{
    uint64_t v;
    if (size == ARG_64) v = va_arg(*args, unsigned long long);
    else if (size == ARG_SIZE_T) v = (uint64_t)va_arg(*args, size_t);
    else v = va_arg(*args, unsigned int);
    if (size == ARG_NARROW) v = (unsigned short)v;
    unsigned base = conv == L'u' ? 10 : conv == L'o' ? 8 : 16;
    PutInteger(s, sp, v, false, base, conv == L'X', false);
}

/// Writes one conversion's argument; false, and nothing taken, for an unknown conversion.
bool PutConversion(Sink *s, Spec sp, ArgumentSize size, wchar_t conv, va_list *args)
{
    switch (conv) {
    case L'd':
    case L'i':
        PutSigned(s, sp, size, args);
        return true;
    case L'u':
    case L'x':
    case L'X':
    case L'o':
        PutUnsigned(s, sp, size, conv, args);
        return true;
    case L'p': {
        uint64_t v = (uint64_t)(uintptr_t)va_arg(*args, void *);
        sp.Precision = (int)(sizeof(void *) * 2);
        PutInteger(s, sp, v, false, 16, true, false);
        return true;
    }
    case L'c':
    case L'C': {
        // In a wide format %C is the narrow character, as %S is the narrow text.
        wchar_t c = (wchar_t)va_arg(*args, int);
        if (size == ARG_NARROW || (conv == L'C' && size != ARG_WIDE)) {
            c = (wchar_t)(unsigned char)c;
        }
        wchar_t one[1] = {c};
        PutPadded(s, sp, nullptr, 0, one, 1, 0);
        return true;
    }
    case L's':
        if (size == ARG_NARROW) PutNarrowText(s, sp, va_arg(*args, const char *));
        else PutWideText(s, sp, va_arg(*args, const wchar_t *));
        return true;
    case L'S':
        if (size != ARG_WIDE) PutNarrowText(s, sp, va_arg(*args, const char *));
        else PutWideText(s, sp, va_arg(*args, const wchar_t *));
        return true;
    default:
        return false;
    }
}

}  // namespace

int FormatWideV(wchar_t *dest, size_t capacity, const wchar_t *format, va_list args)
{
    Sink s{dest, dest ? capacity : 0, 0};
    // A copy the helpers can take arguments from through a pointer: a va_list parameter
    // may be an array type, whose address is not a va_list pointer.
    va_list ap;
    va_copy(ap, args);
    const wchar_t *p = format ? format : L"";
    while (*p) {
        if (*p != L'%') {
            Put(&s, *p++);
            continue;
        }
        const wchar_t *start = p++;
        if (*p == L'%') {
            Put(&s, L'%');
            ++p;
            continue;
        }
        Spec sp{false, false, false, false, false, -1, -1};
        ArgumentSize size;
        p = ReadFlags(p, &sp);
        p = ReadWidth(p, &sp, &ap);
        p = ReadPrecision(p, &sp, &ap);
        p = ReadSize(p, &size);
        wchar_t conv = *p;
        if (!conv) {
            // A lone '%' at the end is printed as written.
            for (const wchar_t *q = start; q < p; ++q) Put(&s, *q);
            break;
        }
        ++p;
        if (!PutConversion(&s, sp, size, conv, &ap)) {
            // Unknown conversions are printed as written rather than guessed at.
            for (const wchar_t *q = start; q < p; ++q) Put(&s, *q);
        }
    }
    va_end(ap);
    if (s.Capacity) s.Dest[s.Length < s.Capacity ? s.Length : s.Capacity - 1] = 0;
    return (int)s.Length;
}

int FormatWide(wchar_t *dest, size_t capacity, const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = FormatWideV(dest, capacity, format, args);
    va_end(args);
    return n;
}

int FormatText(wchar_t *dest, size_t capacity, const wchar_t *format, ...)
{
    if (dest == nullptr) capacity = 0;
    if (format == nullptr) {
        if (capacity > 0) dest[0] = L'\0';
        return 0;
    }
    va_list args;
    va_start(args, format);
    int length = FormatWideV(dest, capacity, format, args);
    va_end(args);
    return length;
}
