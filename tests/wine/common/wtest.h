/*
 * wtest.h - a small test harness for the Win32 test programs run under Wine.
 *
 *   WTEST(name) { WCHECK(cond); WCHECK_EQ(expected, actual); ... }
 *   int main(int argc, char **argv) { return WTestMain(argc, argv); }
 *
 * A failed check prints file, line and both values and marks the test failed;
 * the test goes on. Each program prints "N passed, N failed" at the end and
 * exits 1 when anything failed. An argument runs only the tests whose name
 * contains it. Checks inside a table loop take a WCONTEXT so a failure says
 * which row differed.
 */
#ifndef WTEST_H
#define WTEST_H

#include <windows.h>
#include <stdio.h>
#include <string.h>

typedef void (*WTestFn)(void);
struct WTestEntry { const char *name; WTestFn fn; };

inline WTestEntry *WTestTable(void) { static WTestEntry t[512]; return t; }
inline int &WTestCount(void) { static int n = 0; return n; }
inline int &WTestFailures(void) { static int n = 0; return n; }
inline char *WTestContext(void) { static char c[256]; return c; }

struct WTestRegistrar {
    WTestRegistrar(const char *name, WTestFn fn) {
        if (WTestCount() < 512) { WTestTable()[WTestCount()].name = name; WTestTable()[WTestCount()].fn = fn; WTestCount()++; }
    }
};

#define WTEST(name) \
    static void wtest_##name(void); \
    static WTestRegistrar wtest_reg_##name(#name, wtest_##name); \
    static void wtest_##name(void)

inline void WTestFail(const char *file, int line, const char *what) {
    const char *ctx = WTestContext();
    printf("  %s:%d: %s%s%s\n", file, line, what, ctx[0] ? "  [" : "", ctx[0] ? ctx : "");
    if (ctx[0]) printf("]\n");
    WTestFailures()++;
    fflush(stdout);
}

/* Sets a description of the current table row; cleared by WCONTEXT(""). */
#define WCONTEXT(...) snprintf(WTestContext(), 256, __VA_ARGS__)

#define WCHECK(cond) do { if (!(cond)) WTestFail(__FILE__, __LINE__, "check failed: " #cond); } while (0)

#define WCHECK_EQ(expected, actual) do { \
    unsigned long long wt_e = (unsigned long long)(expected), wt_a = (unsigned long long)(actual); \
    if (wt_e != wt_a) { char wt_b[400]; \
        snprintf(wt_b, sizeof wt_b, "%s == %s: expected 0x%llx (%llu), got 0x%llx (%llu)", \
                 #expected, #actual, wt_e, wt_e, wt_a, wt_a); \
        WTestFail(__FILE__, __LINE__, wt_b); } } while (0)

#define WCHECK_STREQ(expected, actual) do { \
    const char *wt_e = (expected), *wt_a = (actual); \
    if (strcmp(wt_e, wt_a) != 0) { char wt_b[600]; \
        snprintf(wt_b, sizeof wt_b, "%s == %s: expected \"%s\", got \"%s\"", #expected, #actual, wt_e, wt_a); \
        WTestFail(__FILE__, __LINE__, wt_b); } } while (0)

/* Stops the current test when a precondition fails. */
#define WREQUIRE(cond) do { if (!(cond)) { WTestFail(__FILE__, __LINE__, "required: " #cond); return; } } while (0)

inline int WTestMain(int argc, char **argv) {
    setvbuf(stdout, NULL, _IONBF, 0);
    int passed = 0, failed = 0;
    for (int i = 0; i < WTestCount(); i++) {
        const WTestEntry &t = WTestTable()[i];
        if (argc > 1 && !strstr(t.name, argv[1]))
            continue;
        printf("[ RUN      ] %s\n", t.name);
        int before = WTestFailures();
        WTestContext()[0] = 0;
        DWORD start = GetTickCount();
        t.fn();
        DWORD ms = GetTickCount() - start;
        if (WTestFailures() == before) { passed++; printf("[       OK ] %s (%lu ms)\n", t.name, ms); }
        else { failed++; printf("[  FAILED  ] %s (%lu ms)\n", t.name, ms); }
    }
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}

#endif /* WTEST_H */
