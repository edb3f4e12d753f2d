/* The built vantri-check.exe read back as a file: its imports, and its
 * resources (string table, menu, templates, icon) and their language,
 * compared field by field with the tables they were written from. */
#include "check_fixture.h"
#include "resource.h"

namespace {

constexpr WORD kJapanese = 0x0411;

std::string Utf8(const std::wstring &w)
{
    char buf[1024];
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, buf, sizeof buf, NULL, NULL);
    return std::string(buf, n > 0 ? n - 1 : 0);
}

std::string ExePath(void) { return ProgramDir() + "vantri-check.exe"; }

struct DataFile {
    HMODULE h;
    DataFile() : h(LoadLibraryExA(ExePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~DataFile() { if (h) FreeLibrary(h); }
};

/* Raw bytes of one resource in Japanese, or empty. */
std::vector<BYTE> Resource(HMODULE h, LPCSTR type, UINT id)
{
    HRSRC r = FindResourceExA(h, type, MAKEINTRESOURCEA(id), kJapanese);
    if (!r)
        return {};
    HGLOBAL g = LoadResource(h, r);
    const BYTE *p = (const BYTE *)LockResource(g);
    return std::vector<BYTE>(p, p + SizeofResource(h, r));
}

/* ---- A reader for the template formats ---- */
struct Reader {
    const BYTE *p, *end;
    bool ok = true;
    Reader(const std::vector<BYTE> &v) : p(v.data()), end(v.data() + v.size()) {}
    WORD Word() { if (p + 2 > end) { ok = false; return 0; } WORD w = *(const WORD *)p; p += 2; return w; }
    DWORD Dword() { DWORD lo = Word(); return lo | ((DWORD)Word() << 16); }
    BYTE Byte() { if (p + 1 > end) { ok = false; return 0; } return *p++; }
    std::wstring Str() { std::wstring s; for (WORD c; (c = Word()) != 0 && ok; ) s += (wchar_t)c; return s; }
    /* A name or an ordinal: "#n" for an ordinal. */
    std::wstring NameOrOrd()
    {
        WORD first = Word();
        if (first == 0) return L"";
        if (first == 0xFFFF) { wchar_t b[16]; swprintf(b, 16, L"#%u", Word()); return b; }
        std::wstring s(1, (wchar_t)first);
        for (WORD c; (c = Word()) != 0 && ok; ) s += (wchar_t)c;
        return s;
    }
    void Align4(const BYTE *base) { while ((p - base) % 4) p++; }
};

struct Item { DWORD style, exStyle, id; short x, y, cx, cy; std::wstring cls, text; };
struct Template {
    bool ex = false;
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, cls, caption, face;
    WORD points = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::vector<Item> items;
    bool ok = false;
};

Template ParseTemplate(const std::vector<BYTE> &data)
{
    Template t;
    if (data.size() < 18)
        return t;
    Reader r(data);
    const BYTE *base = data.data();
    WORD count;
    if (*(const WORD *)(base + 2) == 0xFFFF && *(const WORD *)base == 1) {
        t.ex = true;
        r.Word(); r.Word(); r.Dword();
        t.exStyle = r.Dword();
        t.style = r.Dword();
    } else {
        t.style = r.Dword();
        t.exStyle = r.Dword();
    }
    count = r.Word();
    t.x = r.Word(); t.y = r.Word(); t.cx = r.Word(); t.cy = r.Word();
    t.menu = r.NameOrOrd();
    t.cls = r.NameOrOrd();
    t.caption = r.Str();
    if (t.style & DS_SETFONT) {
        t.points = r.Word();
        if (t.ex) { t.weight = r.Word(); t.italic = r.Byte(); t.charset = r.Byte(); }
        t.face = r.Str();
    }
    for (WORD i = 0; i < count && r.ok; i++) {
        r.Align4(base);
        Item it;
        if (t.ex) { r.Dword(); it.exStyle = r.Dword(); it.style = r.Dword(); }
        else { it.style = r.Dword(); it.exStyle = r.Dword(); }
        it.x = r.Word(); it.y = r.Word(); it.cx = r.Word(); it.cy = r.Word();
        it.id = t.ex ? r.Dword() : r.Word();
        it.cls = r.NameOrOrd();
        it.text = r.NameOrOrd();
        WORD extra = r.Word();
        r.p += extra;
        t.items.push_back(it);
    }
    t.ok = r.ok;
    return t;
}

struct ItemRow { DWORD id; const char *cls; const char *text; DWORD style, exStyle; short x, y, cx, cy; };

constexpr DWORD CV = WS_CHILD | WS_VISIBLE;

void CompareItems(const Template &t, const ItemRow *rows, size_t n)
{
    WCHECK_EQ(n, t.items.size());
    for (size_t i = 0; i < n && i < t.items.size(); i++) {
        const ItemRow &e = rows[i];
        const Item &a = t.items[i];
        WCONTEXT("control %u (id %ld)", (unsigned)i + 1, (long)(int)e.id);
        WCHECK_EQ(e.id, a.id);
        WCHECK_STR(e.cls, Utf8(a.cls));
        WCHECK_STR(e.text, Utf8(a.text));
        WCHECK_EQ(e.style, a.style);
        WCHECK_EQ(e.exStyle, a.exStyle);
        WCHECK_EQ(e.x, a.x); WCHECK_EQ(e.y, a.y); WCHECK_EQ(e.cx, a.cx); WCHECK_EQ(e.cy, a.cy);
    }
    WCONTEXT("");
}

/* Class ordinals of the predefined controls. */
#define BUTTON "#128"
#define STATIC "#130"

BOOL CALLBACK CollectLang(HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR out)
{
    ((std::vector<WORD> *)out)->push_back(lang);
    return TRUE;
}
BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR out)
{
    ((std::vector<ULONG_PTR> *)out)->push_back(IS_INTRESOURCE(name) ? (ULONG_PTR)name : 0);
    return TRUE;
}

} // namespace

WTEST(imports_only_kernel32_user32_gdi32)
{
    HANDLE f = CreateFileA(ExePath().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    WREQUIRE(f != INVALID_HANDLE_VALUE);
    std::vector<BYTE> file(GetFileSize(f, NULL));
    DWORD got = 0;
    ReadFile(f, file.data(), (DWORD)file.size(), &got, NULL);
    CloseHandle(f);
    WREQUIRE(got == file.size() && got > 512);
    const BYTE *b = file.data();
    const IMAGE_NT_HEADERS32 *nt = (const IMAGE_NT_HEADERS32 *)(b + ((const IMAGE_DOS_HEADER *)b)->e_lfanew);
    WCHECK_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt->OptionalHeader.Subsystem);
    const IMAGE_SECTION_HEADER *sec = IMAGE_FIRST_SECTION(nt);
    auto at = [&](DWORD rva) -> const BYTE * {
        for (int i = 0; i < nt->FileHeader.NumberOfSections; i++)
            if (rva >= sec[i].VirtualAddress && rva < sec[i].VirtualAddress + sec[i].Misc.VirtualSize)
                return b + sec[i].PointerToRawData + (rva - sec[i].VirtualAddress);
        return NULL;
    };
    const IMAGE_IMPORT_DESCRIPTOR *d =
        (const IMAGE_IMPORT_DESCRIPTOR *)at(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    WREQUIRE(d);
    std::vector<std::string> dlls;
    for (; d->Name; d++) {
        std::string name = (const char *)at(d->Name);
        for (char &c : name) c = (char)toupper((unsigned char)c);
        dlls.push_back(name);
    }
    std::string all;
    for (const std::string &s : dlls) all += s + " ";
    WCONTEXT("imports: %s", all.c_str());
    WCHECK_EQ(3, dlls.size());
    for (const char *want : { "KERNEL32.DLL", "USER32.DLL", "GDI32.DLL" }) {
        bool found = false;
        for (const std::string &s : dlls) found = found || s == want;
        WCHECK(found);
    }
    WCONTEXT("");
    WCHECK_EQ(0, nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].Size);
}

WTEST(string_table_holds_exactly_the_sixteen_strings)
{
    struct Row { UINT id; const char *text; } rows[] = {
        { 3, "HLP" }, { 101, "Vantri-K2 Check Soft" },
        { 200, "1" }, { 201, "2" }, { 202, "3" }, { 203, "4" },
        { 800, "使用できるデバイスが見つかりませんでした。" },
        { 801, "デバイスの開放に失敗しました。" },
        { 802, "vantri.dll のロードに失敗しました。" },
        { 900, "%04x-%04x" }, { 901, "BIT %02d-%02d" }, { 902, "%d" },
        { 903, "Parallel I/O (Port %s)" }, { 904, "Device %2d" },
        { 906, "%08lx" }, { 907, "Vantri-K2(%s)" },
    };
    DataFile exe;
    WREQUIRE(exe.h);
    std::vector<ULONG_PTR> blocks;
    EnumResourceNamesA(exe.h, RT_STRING, CollectName, (LONG_PTR)&blocks);
    size_t found = 0;
    for (ULONG_PTR block : blocks) {
        WCONTEXT("block %lu", (unsigned long)block);
        std::vector<WORD> langs;
        EnumResourceLanguagesA(exe.h, RT_STRING, MAKEINTRESOURCEA(block), CollectLang, (LONG_PTR)&langs);
        WCHECK(langs.size() == 1 && langs[0] == kJapanese);
        std::vector<BYTE> data = Resource(exe.h, RT_STRING, (UINT)block);
        Reader r(data);
        for (UINT k = 0; k < 16 && r.ok; k++) {
            UINT id = (UINT)(block - 1) * 16 + k;
            WORD len = r.Word();
            std::wstring s;
            for (WORD i = 0; i < len; i++) s += (wchar_t)r.Word();
            if (len == 0)
                continue;
            const Row *want = NULL;
            for (const Row &row : rows) if (row.id == id) want = &row;
            WCONTEXT("string %u", id);
            WCHECK(want != NULL);   /* no string beyond the table */
            if (want) {
                WCHECK_STR(want->text, Utf8(s));
                found++;
            }
        }
    }
    WCONTEXT("");
    WCHECK_EQ(16, found);
}

WTEST(menu_matches_table)
{
    DataFile exe;
    WREQUIRE(exe.h);
    std::vector<BYTE> data = Resource(exe.h, RT_MENU, IDR_MAINMENU);
    WREQUIRE(!data.empty());
    Reader r(data);
    WCHECK_EQ(0, r.Word());   /* standard menu template, version 0 */
    WCHECK_EQ(0, r.Word());
    struct Row { int depth; WORD flags; WORD id; const char *text; } rows[] = {
        { 0, MF_POPUP,          0,               "ﾌｧｲﾙ(&F)" },
        { 1, MF_END,            IDM_EXIT,        "ﾌﾟﾛｸﾞﾗﾑの終了(&X)\tAlt+F4" },
        { 0, MF_POPUP | MF_END, 0,               "ﾍﾙﾌﾟ(&H)" },
        { 1, 0,                 IDM_HELP_TOPICS, "ﾄﾋﾟｯｸの検索(&H)..\tF1" },
        { 1, 0,                 0,               "" },   /* separator */
        { 1, MF_END,            IDM_ABOUT,       "このﾌﾟﾛｸﾞﾗﾑについて(&A)..." },
    };
    int depth = 0;
    std::vector<bool> open;   /* per level: more items follow */
    size_t i = 0;
    for (; r.ok && r.p < r.end && i < sizeof rows / sizeof rows[0]; i++) {
        WCONTEXT("menu entry %u", (unsigned)i);
        WORD flags = r.Word();
        WORD id = (flags & MF_POPUP) ? 0 : r.Word();
        std::wstring text = r.Str();
        WCHECK_EQ(rows[i].depth, depth);
        WCHECK_EQ(rows[i].flags, flags & ~MF_SEPARATOR);
        WCHECK_EQ(rows[i].id, id);
        WCHECK_STR(rows[i].text, Utf8(text));
        if (flags & MF_POPUP) {
            open.push_back(!(flags & MF_END));
            depth++;
        } else if (flags & MF_END) {
            depth--;
            while (!open.empty() && !open.back()) { open.pop_back(); }
            if (!open.empty()) open.pop_back();
        }
    }
    WCONTEXT("");
    WCHECK_EQ(6, i);
    WCHECK(r.p == r.end);   /* nothing after the last entry */
}

WTEST(panel_template_matches_table)
{
    DataFile exe;
    WREQUIRE(exe.h);
    Template t = ParseTemplate(Resource(exe.h, RT_DIALOG, IDD_PANEL));
    WREQUIRE(t.ok);
    WCHECK(t.ex);
    WCHECK_EQ(WS_CHILD | WS_VISIBLE | DS_SETFONT, t.style);
    WCHECK_EQ(0, t.exStyle);
    WCHECK_EQ(0, t.x); WCHECK_EQ(0, t.y); WCHECK_EQ(226, t.cx); WCHECK_EQ(120, t.cy);
    WCHECK(t.menu.empty() && t.cls.empty() && t.caption.empty());
    WCHECK_EQ(9, t.points); WCHECK_EQ(0, t.weight); WCHECK_EQ(0, t.italic); WCHECK_EQ(1, t.charset);
    WCHECK_STR("ＭＳ Ｐゴシック", Utf8(t.face));
    const DWORD RADIO = CV | BS_RADIOBUTTON, EXEC = CV | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON,
                PORT = CV | WS_GROUP | BS_GROUPBOX;
    const ItemRow rows[] = {
        { 0xFFFFFFFF, BUTTON, "I/O Resource", CV | BS_GROUPBOX, 0, 7, 7, 63, 77 },
        { 1001, STATIC, "Base Address", CV | WS_GROUP | SS_LEFT, 0, 13, 21, 42, 8 },
        { 1002, STATIC, "", CV | WS_GROUP | SS_CENTER | SS_CENTERIMAGE, WS_EX_CLIENTEDGE, 13, 34, 50, 12 },
        { 1005, BUTTON, "Device Select", CV | WS_TABSTOP | BS_PUSHBUTTON, 0, 13, 59, 50, 14 },
        { 0xFFFFFFFF, BUTTON, "Board Name", CV | BS_GROUPBOX, 0, 78, 7, 92, 24 },
        { 1000, STATIC, "", CV | WS_GROUP | SS_LEFT, 0, 83, 18, 82, 8 },
        { 1011, BUTTON, "IN", RADIO, 0, 82, 47, 22, 10 },
        { 1012, BUTTON, "OUT", RADIO, 0, 82, 60, 29, 10 },
        { 1013, BUTTON, "実行", EXEC, 0, 112, 50, 26, 14 },
        { 1010, BUTTON, "Port 1", PORT, 0, 78, 36, 67, 37 },
        { 1021, BUTTON, "IN", RADIO, 0, 82, 87, 22, 10 },
        { 1022, BUTTON, "OUT", RADIO, 0, 82, 100, 29, 10 },
        { 1023, BUTTON, "実行", EXEC, 0, 112, 90, 26, 14 },
        { 1020, BUTTON, "Port 2", PORT, 0, 78, 76, 67, 37 },
        { 1031, BUTTON, "IN", RADIO, 0, 156, 48, 22, 10 },
        { 1032, BUTTON, "OUT", RADIO, 0, 156, 60, 29, 10 },
        { 1033, BUTTON, "実行", EXEC, 0, 185, 50, 26, 14 },
        { 1030, BUTTON, "Port 3", PORT, 0, 152, 36, 67, 37 },
        { 1041, BUTTON, "IN", RADIO, 0, 156, 87, 22, 10 },
        { 1042, BUTTON, "OUT", RADIO, 0, 156, 100, 29, 10 },
        { 1043, BUTTON, "実行", EXEC, 0, 185, 90, 26, 14 },
        { 1040, BUTTON, "Port 4", PORT, 0, 152, 76, 67, 37 },
    };
    CompareItems(t, rows, sizeof rows / sizeof rows[0]);
}

WTEST(about_template_matches_table)
{
    DataFile exe;
    WREQUIRE(exe.h);
    Template t = ParseTemplate(Resource(exe.h, RT_DIALOG, IDD_ABOUT));
    WREQUIRE(t.ok);
    WCHECK_EQ(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, t.style);
    WCHECK_EQ(0, t.exStyle);
    WCHECK_EQ(0, t.x); WCHECK_EQ(0, t.y); WCHECK_EQ(171, t.cx); WCHECK_EQ(97, t.cy);
    WCHECK(t.menu.empty() && t.cls.empty());
    WCHECK_STR("このﾌﾟﾛｸﾞﾗﾑについて", Utf8(t.caption));
    WCHECK_EQ(9, t.points);
    WCHECK_STR("ＭＳ Ｐゴシック", Utf8(t.face));
    WREQUIRE(t.items.size() == 7);
    const DWORD TEXT = CV | WS_GROUP | SS_LEFT, VER = CV | WS_GROUP | SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN;
    /* The maker's notice (row 2) is ours to word: take it as built. */
    std::string notice = Utf8(t.items[1].text);
    const ItemRow rows[] = {
        { IDOK, BUTTON, "OK", CV | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 67, 76, 36, 14 },
        { 0xFFFF, STATIC, notice.c_str(), TEXT, 0, 12, 27, 148, 8 },
        { 0xFFFF, STATIC, "Vantri-K2 Check Soft Ver1.00", TEXT, 0, 12, 11, 110, 8 },
        { 0xFFFF, STATIC, "DllVersion", TEXT, 0, 12, 43, 31, 8 },
        { 0xFFFF, STATIC, "DrvVersion", TEXT, 0, 12, 59, 34, 8 },
        { IDC_DLL_VERSION, STATIC, "", VER, 0, 63, 43, 42, 9 },
        { IDC_DRV_VERSION, STATIC, "", VER, 0, 63, 58, 42, 9 },
    };
    CompareItems(t, rows, sizeof rows / sizeof rows[0]);
    WCHECK(!notice.empty());
}

WTEST(every_resource_is_japanese_and_icon_is_32x32_16_colours)
{
    DataFile exe;
    WREQUIRE(exe.h);
    struct Row { LPCSTR type; UINT id; } rows[] = {
        { RT_GROUP_ICON, IDI_MAIN }, { RT_MENU, IDR_MAINMENU }, { RT_DIALOG, IDD_PANEL },
        { RT_DIALOG, IDD_ABOUT }, { RT_DIALOG, IDD_PORTIO }, { RT_DIALOG, IDD_DEVSELECT },
    };
    for (const Row &r : rows) {
        WCONTEXT("type %lu id %u", (unsigned long)(ULONG_PTR)r.type, r.id);
        std::vector<WORD> langs;
        EnumResourceLanguagesA(exe.h, r.type, MAKEINTRESOURCEA(r.id), CollectLang, (LONG_PTR)&langs);
        WCHECK_EQ(1, langs.size());
        WCHECK(!langs.empty() && langs[0] == kJapanese);
    }
    WCONTEXT("");
    std::vector<ULONG_PTR> dialogs;
    EnumResourceNamesA(exe.h, RT_DIALOG, CollectName, (LONG_PTR)&dialogs);
    WCHECK_EQ(4, dialogs.size());
    std::vector<BYTE> group = Resource(exe.h, RT_GROUP_ICON, IDI_MAIN);
    WREQUIRE(group.size() >= 6 + 14);
    WCHECK_EQ(1, *(WORD *)&group[2]);   /* icon */
    WCHECK_EQ(1, *(WORD *)&group[4]);   /* one image */
    WCHECK_EQ(32, group[6]);
    WCHECK_EQ(32, group[7]);
    WCHECK_EQ(16, group[8]);
    WCHECK_EQ(4, *(WORD *)&group[12]);  /* bits per pixel */
    HICON icon = LoadIconA(exe.h, MAKEINTRESOURCEA(IDI_MAIN));
    WCHECK(icon != NULL);
}

int main(int argc, char **argv) { return WTestMain(argc, argv); }
