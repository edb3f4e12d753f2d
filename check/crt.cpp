/* crt.cpp - the two memory routines the compiler may call on its own for
 * record initialisation and copies; the program has no C runtime. Written
 * through volatile pointers so they are never turned back into calls. */
#include <stddef.h>

extern "C" void *memset(void *dst, int c, size_t n)
{
    volatile unsigned char *d = (volatile unsigned char *)dst;
    while (n--)
        *d++ = (unsigned char)c;
    return dst;
}

extern "C" void *memcpy(void *dst, const void *src, size_t n)
{
    volatile unsigned char *d = (volatile unsigned char *)dst;
    const volatile unsigned char *s = (const volatile unsigned char *)src;
    while (n--)
        *d++ = *s++;
    return dst;
}
