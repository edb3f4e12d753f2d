/*
 * templates_test.cpp - templates 105 and 106 as the built vantri-check.exe
 * holds them, read back byte by byte and compared with tables.
 */
#include "wtest.h"

#include <string>
#include <vector>

#include "resources/resource.h"

/* Compares a std::string result with a text; the result is held until the check is done. */
#define CHECK_TEXT(expected, stringExpr) do { \
    const std::string check_text_ = (stringExpr); \
    WCHECK_STREQ(expected, check_text_.c_str()); } while (0)

namespace {

constexpr WORD kOrdButton = 0x80, kOrdStatic = 0x82, kOrdListBox = 0x83, kOrdComboBox = 0x85;

struct Control {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    WORD id;
    WORD classOrdinal;       /* 0 when the class is a name */
    std::wstring className;
    std::wstring text;
    WORD extra;
};

struct Template {
    bool extended;
    DWORD style, exStyle;
    short x, y, cx, cy;
    bool noMenu, noClass;
    std::wstring caption;
    WORD pointSize;
    std::wstring face;
    std::vector<Control> controls;
};

const WORD *Align4(const WORD *p, const BYTE *base)
{
    size_t off = (const BYTE *)p - base;
    return (const WORD *)(base + ((off + 3) & ~(size_t)3));
}

/* Reads an ordinal-or-string field; returns the ordinal, or 0 and the string. */
WORD ReadSzOrOrd(const WORD *&p, std::wstring &s)
{
    s.clear();
    if (*p == 0xFFFF) {
        WORD ord = p[1];
        p += 2;
        return ord;
    }
    while (*p)
        s += (wchar_t)*p++;
    p++;
    return 0;
}

bool Parse(const BYTE *data, DWORD size, Template &t)
{
    const WORD *p = (const WORD *)data;
    t.extended = p[1] == 0xFFFF;
    if (t.extended || size < 18)
        return false;
    const DLGTEMPLATE *dt = (const DLGTEMPLATE *)data;
    t.style = dt->style;
    t.exStyle = dt->dwExtendedStyle;
    t.x = dt->x; t.y = dt->y; t.cx = dt->cx; t.cy = dt->cy;
    p = (const WORD *)(data + 18);
    std::wstring s;
    t.noMenu = ReadSzOrOrd(p, s) == 0 && s.empty();
    t.noClass = ReadSzOrOrd(p, s) == 0 && s.empty();
    ReadSzOrOrd(p, t.caption);
    if (t.style & DS_SETFONT) {
        t.pointSize = *p++;
        ReadSzOrOrd(p, t.face);
    }
    for (int i = 0; i < dt->cdit; i++) {
        p = Align4(p, data);
        if ((const BYTE *)p + sizeof(DLGITEMTEMPLATE) > data + size)
            return false;
        const DLGITEMTEMPLATE *it = (const DLGITEMTEMPLATE *)p;
        Control c;
        c.style = it->style; c.exStyle = it->dwExtendedStyle;
        c.x = it->x; c.y = it->y; c.cx = it->cx; c.cy = it->cy; c.id = it->id;
        p = (const WORD *)((const BYTE *)p + sizeof(DLGITEMTEMPLATE));
        c.classOrdinal = ReadSzOrOrd(p, c.className);
        ReadSzOrOrd(p, c.text);
        c.extra = *p++;
        p = (const WORD *)((const BYTE *)p + c.extra);
        t.controls.push_back(c);
    }
    return true;
}

std::wstring W(const char *utf8)
{
    wchar_t buf[128] = L"";
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, buf, 128);
    return buf;
}

std::string Narrow(const std::wstring &w)
{
    char buf[256] = "";
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, buf, sizeof buf, NULL, NULL);
    return buf;
}

/* Loads one Japanese dialog template of the built program. */
bool LoadTemplate(WORD id, Template &t)
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    char *slash = strrchr(path, '\\');
    if (!slash)
        return false;
    lstrcpyA(slash + 1, "vantri-check.exe");
    HMODULE mod = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!mod)
        return false;
    HRSRC res = FindResourceExA(mod, (LPCSTR)RT_DIALOG, MAKEINTRESOURCEA(id), MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    bool ok = res && Parse((const BYTE *)LockResource(LoadResource(mod, res)), SizeofResource(mod, res), t);
    FreeLibrary(mod);
    return ok;
}

struct Expected {
    WORD id;
    WORD classOrdinal;
    const char *className;   /* when classOrdinal is 0 */
    const char *text;
    DWORD style;
    short x, y, cx, cy;
};

void CheckControls(const Template &t, const std::vector<Expected> &want)
{
    WCHECK_EQ(want.size(), t.controls.size());
    for (size_t i = 0; i < want.size() && i < t.controls.size(); i++) {
        const Control &c = t.controls[i];
        const Expected &e = want[i];
        WCONTEXT("control %u (id %d)", (unsigned)i + 1, (short)e.id);
        WCHECK_EQ(e.id, c.id);
        WCHECK_EQ(e.classOrdinal, c.classOrdinal);
        if (!e.classOrdinal)
            CHECK_TEXT(e.className, Narrow(c.className));
        CHECK_TEXT(e.text, Narrow(c.text));
        WCHECK_EQ(e.style, c.style);
        WCHECK_EQ(0u, c.exStyle);
        WCHECK_EQ(e.x, c.x);
        WCHECK_EQ(e.y, c.y);
        WCHECK_EQ(e.cx, c.cx);
        WCHECK_EQ(e.cy, c.cy);
        WCHECK_EQ(0, c.extra);
    }
    WCONTEXT("");
}

constexpr DWORD CV = WS_CHILD | WS_VISIBLE;

struct Langs { int count; WORD lang; };

BOOL CALLBACK CountLanguage(HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR param)
{
    Langs *l = (Langs *)param;
    l->count++;
    l->lang = lang;
    return TRUE;
}

} // namespace

WTEST(template_105_is_the_port_window_exactly)
{
    Template t = {};
    WREQUIRE(LoadTemplate(IDD_PORTIO, t));
    WCHECK(!t.extended);
    WCHECK_EQ(0x90C800C0u, t.style);
    WCHECK_EQ(0u, t.exStyle);
    WCHECK_EQ(0, t.x);
    WCHECK_EQ(0, t.y);
    WCHECK_EQ(137, t.cx);
    WCHECK_EQ(147, t.cy);
    WCHECK(t.noMenu);
    WCHECK(t.noClass);
    CHECK_TEXT("", Narrow(t.caption));
    WCHECK_EQ(9, t.pointSize);
    WCHECK(t.face == W("ＭＳ Ｐゴシック"));

    std::vector<Expected> want = {
        {IDCANCEL, kOrdButton, "", "閉じる", CV | WS_TABSTOP | BS_DEFPUSHBUTTON, 92, 126, 38, 14},
        {0xFFFF, kOrdStatic, "", "Pio Bit No.", CV | WS_GROUP | SS_LEFT, 7, 9, 32, 8},
        {IDC_BITGROUP, kOrdComboBox, "", "", CV | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST, 41, 7, 58, 70},
        {0xFFFF, kOrdStatic, "", "Output", CV | WS_GROUP | SS_LEFT, 7, 33, 20, 8},
        {0xFFFF, kOrdStatic, "", "Input", CV | WS_GROUP | SS_LEFT, 7, 76, 15, 8},
    };
    struct Row { WORD firstId; bool lamp; short y, cy; };
    const Row rows[] = {
        {IDC_OUTLED0, true, 45, 11}, {IDC_OUTBIT0, false, 61, 8},
        {IDC_INLED0, true, 88, 11}, {IDC_INBIT0, false, 104, 8},
    };
    for (const Row &r : rows) {
        for (int bit = 7; bit >= 0; bit--) {
            const short x = (short)(15 + 14 * (7 - bit));
            if (r.lamp)
                want.push_back({(WORD)(r.firstId + bit), 0, "PARA_LED", "", CV | WS_TABSTOP, x, r.y, 11, r.cy});
            else
                want.push_back({(WORD)(r.firstId + bit), kOrdStatic, "", "", CV | WS_GROUP | SS_CENTER, x, r.y, 11, r.cy});
        }
    }
    WCHECK_EQ(37u, want.size());
    CheckControls(t, want);
    /* Bit 7 leftmost, bit 0 rightmost in every row. */
    WCHECK_EQ(15, t.controls[5].x);
    WCHECK_EQ(113, t.controls[12].x);
    WCHECK_EQ(IDC_INBIT0, t.controls[36].id);
}

WTEST(template_106_is_device_select_exactly)
{
    Template t = {};
    WREQUIRE(LoadTemplate(IDD_DEVSELECT, t));
    WCHECK(!t.extended);
    WCHECK_EQ((DWORD)(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT), t.style);
    WCHECK_EQ(0u, t.exStyle);
    WCHECK_EQ(0, t.x);
    WCHECK_EQ(0, t.y);
    WCHECK_EQ(137, t.cx);
    WCHECK_EQ(71, t.cy);
    WCHECK(t.noMenu);
    WCHECK(t.noClass);
    CHECK_TEXT("Device Select", Narrow(t.caption));
    WCHECK_EQ(9, t.pointSize);
    WCHECK(t.face == W("ＭＳ Ｐゴシック"));
    const std::vector<Expected> want = {
        {IDOK, kOrdButton, "", "OK", CV | WS_TABSTOP | BS_DEFPUSHBUTTON, 80, 7, 50, 14},
        {IDCANCEL, kOrdButton, "", "ｷｬﾝｾﾙ", CV | WS_TABSTOP | BS_PUSHBUTTON, 80, 24, 50, 14},
        {IDC_DEVICE_LIST, kOrdListBox, "", "",
         CV | WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_DISABLENOSCROLL, 7, 20, 65, 44},
        {0xFFFF, kOrdStatic, "", "Device", CV | WS_GROUP | SS_LEFT, 7, 7, 21, 8},
    };
    CheckControls(t, want);
}

WTEST(the_two_templates_exist_only_in_japanese)
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    lstrcpyA(strrchr(path, '\\') + 1, "vantri-check.exe");
    HMODULE mod = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    WREQUIRE(mod);
    for (WORD id : {(WORD)IDD_PORTIO, (WORD)IDD_DEVSELECT}) {
        WCONTEXT("template %u", id);
        Langs langs = {0, 0};
        EnumResourceLanguagesA(mod, (LPCSTR)RT_DIALOG, MAKEINTRESOURCEA(id), CountLanguage, (LONG_PTR)&langs);
        WCHECK_EQ(1, langs.count);
        WCHECK_EQ(0x0411, langs.lang);
    }
    WCONTEXT("");
    FreeLibrary(mod);
}
