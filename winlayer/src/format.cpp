// format.cpp - wsprintfA: the small formatter of USER32, bounded at 1024
// bytes like the real one. Conversions: d i u x X c s %, with the flags '-'
// and '0', a decimal width and the size prefixes 'l' and 'h' (32-bit and
// 16-bit). Anything else is copied through as text.
#include <windows.h>

#include <cstdarg>
#include <cstdint>

namespace {

constexpr int kMaxOutput = 1024;  // bytes, the terminating zero included

struct Sink {
    char *out;
    int   length;  // characters written so far

    void Put(char c)
    {
        if (length < kMaxOutput - 1)
            out[length++] = c;
    }
    void Repeat(char c, int n)
    {
        for (int i = 0; i < n; ++i)
            Put(c);
    }
};

// Digits of v in the given base, most significant first; returns the count.
int ToDigits(uint32_t v, unsigned base, bool upper, char *digits)
{
    const char *set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char reversed[16];
    int n = 0;
    do {
        reversed[n++] = set[v % base];
        v /= base;
    } while (v != 0);
    for (int i = 0; i < n; ++i)
        digits[i] = reversed[n - 1 - i];
    return n;
}

void PutField(Sink &sink, const char *text, int textLength, const char *sign, bool left,
              bool zero, int width)
{
    int signLength = sign != nullptr ? 1 : 0;
    int pad = width - textLength - signLength;
    if (pad < 0)
        pad = 0;
    if (!left && !zero)
        sink.Repeat(' ', pad);
    if (sign != nullptr)
        sink.Put(*sign);
    if (!left && zero)
        sink.Repeat('0', pad);
    for (int i = 0; i < textLength; ++i)
        sink.Put(text[i]);
    if (left)
        sink.Repeat(' ', pad);
}

}  // namespace

extern "C" int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...)
{
    if (lpOut == nullptr)
        return 0;
    Sink sink{lpOut, 0};
    if (lpFmt == nullptr) {
        lpOut[0] = '\0';
        return 0;
    }
    va_list args;
    va_start(args, lpFmt);
    for (const char *p = lpFmt; *p != '\0'; ++p) {
        if (*p != '%') {
            sink.Put(*p);
            continue;
        }
        const char *start = p++;
        bool left = false, zero = false;
        for (;; ++p) {
            if (*p == '-')
                left = true;
            else if (*p == '0')
                zero = true;
            else
                break;
        }
        int width = 0;
        while (*p >= '0' && *p <= '9') {
            if (width < kMaxOutput)
                width = width * 10 + (*p - '0');
            ++p;
        }
        bool half = false;
        if (*p == 'l') {
            ++p;
        } else if (*p == 'h') {
            half = true;
            ++p;
        }
        char digits[16];
        switch (*p) {
        case 'd':
        case 'i': {
            int32_t v = static_cast<int32_t>(va_arg(args, int));
            if (half)
                v = static_cast<int16_t>(v);
            uint32_t magnitude = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
            int n = ToDigits(magnitude, 10, false, digits);
            PutField(sink, digits, n, v < 0 ? "-" : nullptr, left, zero, width);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            uint32_t v = static_cast<uint32_t>(va_arg(args, unsigned int));
            if (half)
                v &= 0xFFFFu;
            int n = ToDigits(v, *p == 'u' ? 10 : 16, *p == 'X', digits);
            PutField(sink, digits, n, nullptr, left, zero, width);
            break;
        }
        case 'c': {
            char c = static_cast<char>(va_arg(args, int));
            PutField(sink, &c, 1, nullptr, left, false, width);
            break;
        }
        case 's': {
            const char *s = va_arg(args, const char *);
            if (s == nullptr)
                s = "(null)";
            int n = 0;
            while (s[n] != '\0' && n < kMaxOutput)
                ++n;
            PutField(sink, s, n, nullptr, left, false, width);
            break;
        }
        case '%':
            sink.Put('%');
            break;
        case '\0':
            // A lone '%' at the end: keep what was given and stop.
            for (const char *q = start; *q != '\0'; ++q)
                sink.Put(*q);
            --p;
            break;
        default:
            // Not a conversion this formatter knows: copied as text.
            for (const char *q = start; q <= p; ++q)
                sink.Put(*q);
            break;
        }
    }
    va_end(args);
    lpOut[sink.length] = '\0';
    return sink.length;
}
