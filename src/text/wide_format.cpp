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

}  // namespace

int FormatWideV(wchar_t *dest, size_t capacity, const wchar_t *format, va_list args)
{
    Sink s{dest, dest ? capacity : 0, 0};
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
        for (;; ++p) {
            if (*p == L'-') sp.Left = true;
            else if (*p == L'+') sp.Plus = true;
            else if (*p == L' ') sp.Space = true;
            else if (*p == L'0') sp.Zero = true;
            else if (*p == L'#') sp.Alt = true;
            else break;
        }
        if (*p == L'*') {
            // Widths and precisions are capped (as written ones are below), so that a
            // wild argument can neither overflow nor make the padding loop for long.
            int w = va_arg(args, int);
            if (w < 0) {
                sp.Left = true;
                w = w < -kMaxField ? kMaxField : -w;
            }
            sp.Width = w > kMaxField ? kMaxField : w;
            ++p;
        } else if (*p >= L'0' && *p <= L'9') {
            sp.Width = 0;
            while (*p >= L'0' && *p <= L'9') {
                if (sp.Width < kMaxField) sp.Width = sp.Width * 10 + (*p - L'0');
                ++p;
            }
            if (sp.Width > kMaxField) sp.Width = kMaxField;
        }
        if (*p == L'.') {
            ++p;
            sp.Precision = 0;
            if (*p == L'*') {
                int pr = va_arg(args, int);
                sp.Precision = pr < 0 ? -1 : pr > kMaxField ? kMaxField : pr;
                ++p;
            } else {
                while (*p >= L'0' && *p <= L'9') {
                    if (sp.Precision < kMaxField) sp.Precision = sp.Precision * 10 + (*p - L'0');
                    ++p;
                }
                if (sp.Precision > kMaxField) sp.Precision = kMaxField;
            }
        }
        // Size: I64 and ll are 64-bit; l and h and I32 are the natural int (32-bit);
        // h before s or c means narrow text; z and I mean size_t.
        int size = 0;  // 0 int, 64 64-bit, 1 size_t, -1 narrow (h), 2 wide (l, w)
        if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
            size = 64;
            p += 3;
        } else if (p[0] == L'I' && p[1] == L'3' && p[2] == L'2') {
            p += 3;
        } else if (p[0] == L'l' && p[1] == L'l') {
            size = 64;
            p += 2;
        } else if (*p == L'l' || *p == L'w') {
            size = 2;
            ++p;
        } else if (*p == L'h') {
            size = -1;
            ++p;
            if (*p == L'h') ++p;
        } else if (*p == L'z' || *p == L'I') {
            size = 1;
            ++p;
        }
        wchar_t conv = *p;
        if (!conv) {
            // A lone '%' at the end is printed as written.
            for (const wchar_t *q = start; q < p; ++q) Put(&s, *q);
            break;
        }
        ++p;
        switch (conv) {
        case L'd':
        case L'i': {
            int64_t v;
            if (size == 64) v = va_arg(args, long long);
            else if (size == 1) v = (int64_t)va_arg(args, intptr_t);
            else v = va_arg(args, int);
            if (size == -1) v = (short)v;
            uint64_t mag = v < 0 ? (uint64_t)0 - (uint64_t)v : (uint64_t)v;
            PutInteger(&s, sp, mag, v < 0, 10, false, true);
            break;
        }
        case L'u':
        case L'x':
        case L'X':
        case L'o': {
            uint64_t v;
            if (size == 64) v = va_arg(args, unsigned long long);
            else if (size == 1) v = (uint64_t)va_arg(args, size_t);
            else v = va_arg(args, unsigned int);
            if (size == -1) v = (unsigned short)v;
            unsigned base = conv == L'u' ? 10 : conv == L'o' ? 8 : 16;
            PutInteger(&s, sp, v, false, base, conv == L'X', false);
            break;
        }
        case L'p': {
            uint64_t v = (uint64_t)(uintptr_t)va_arg(args, void *);
            sp.Precision = (int)(sizeof(void *) * 2);
            PutInteger(&s, sp, v, false, 16, true, false);
            break;
        }
        case L'c':
        case L'C': {
            // In a wide format %C is the narrow character, as %S is the narrow text.
            wchar_t c = (wchar_t)va_arg(args, int);
            if (size == -1 || (conv == L'C' && size != 2)) c = (wchar_t)(unsigned char)c;
            wchar_t one[1] = {c};
            PutPadded(&s, sp, nullptr, 0, one, 1, 0);
            break;
        }
        case L's':
            if (size == -1) PutNarrowText(&s, sp, va_arg(args, const char *));
            else PutWideText(&s, sp, va_arg(args, const wchar_t *));
            break;
        case L'S':
            if (size != 2) PutNarrowText(&s, sp, va_arg(args, const char *));
            else PutWideText(&s, sp, va_arg(args, const wchar_t *));
            break;
        default:
            // Unknown conversions are printed as written rather than guessed at.
            for (const wchar_t *q = start; q < p; ++q) Put(&s, *q);
            break;
        }
    }
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
