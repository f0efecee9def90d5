#include "text/native_text.h"

#include <stdint.h>

namespace {

// Length of the valid UTF-8 sequence at s (at most len bytes), or 0 when invalid.
size_t SequenceLength(const unsigned char *s, size_t len, uint32_t *cp)
{
    unsigned char b = s[0];
    size_t n;
    uint32_t v, min;
    if (b < 0x80) {
        *cp = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        n = 2, v = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3, v = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4, v = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (n > len) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        v = (v << 6) | (s[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not valid UTF-8.
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
    *cp = v;
    return n;
}

}  // namespace

size_t NativeToWide(const char *in, size_t len, wchar_t *out, size_t capacity)
{
    const unsigned char *s = (const unsigned char *)in;
    size_t n = 0;
    for (size_t i = 0; i < len;) {
        uint32_t cp;
        size_t step = SequenceLength(s + i, len - i, &cp);
        if (!step) {
            cp = 0xDC00 + s[i];
            step = 1;
        }
        if (n + 1 < capacity) out[n] = (wchar_t)cp;
        ++n;
        i += step;
    }
    if (capacity) out[n < capacity ? n : capacity - 1] = 0;
    return n;
}

size_t WideToNative(const wchar_t *in, char *out, size_t capacity)
{
    size_t n = 0, written = 0;
    bool full = false;
    for (const wchar_t *p = in; *p; ++p) {
        uint32_t c = (uint32_t)*p;
        unsigned char buf[4];
        size_t k;
        if (c >= 0xDC80 && c <= 0xDCFF) {
            buf[0] = (unsigned char)(c - 0xDC00);
            k = 1;
        } else if (c < 0x80) {
            buf[0] = (unsigned char)c;
            k = 1;
        } else if (c < 0x800) {
            buf[0] = (unsigned char)(0xC0 | (c >> 6));
            buf[1] = (unsigned char)(0x80 | (c & 0x3F));
            k = 2;
        } else if (c < 0x10000) {
            if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
            buf[0] = (unsigned char)(0xE0 | (c >> 12));
            buf[1] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
            buf[2] = (unsigned char)(0x80 | (c & 0x3F));
            k = 3;
        } else {
            if (c > 0x10FFFF) c = 0xFFFD;
            buf[0] = (unsigned char)(0xF0 | (c >> 18));
            buf[1] = (unsigned char)(0x80 | ((c >> 12) & 0x3F));
            buf[2] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
            buf[3] = (unsigned char)(0x80 | (c & 0x3F));
            k = 4;
        }
        if (!full && written + k < capacity) {
            for (size_t i = 0; i < k; ++i) out[written + i] = (char)buf[i];
            written += k;
        } else {
            full = true;
        }
        n += k;
    }
    if (capacity) out[written] = 0;
    return n;
}
