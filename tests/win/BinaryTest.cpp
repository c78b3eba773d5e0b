// Varnholt.dll as shipped: its exports, imports, security flags and resources.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "WinTestUtil.h"

namespace {

struct Image {
    std::string bytes;
    const IMAGE_NT_HEADERS64* nt = nullptr;

    explicit Image(const std::wstring& path) : bytes(ReadFileBytes(path)) {
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
        nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes.data() + dos->e_lfanew);
    }
    // The file bytes at a relative virtual address.
    const char* At(DWORD rva) const {
        const IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(nt);
        for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++s)
            if (rva >= s->VirtualAddress && rva < s->VirtualAddress + std::max(s->Misc.VirtualSize, s->SizeOfRawData))
                return bytes.data() + s->PointerToRawData + (rva - s->VirtualAddress);
        return nullptr;
    }
    const IMAGE_DATA_DIRECTORY& Dir(int index) const { return nt->OptionalHeader.DataDirectory[index]; }
};

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST(BinaryTest, ExportsOnlyStartupAndImportsOnlySystemLibrariesAndTheHost) {
    Image dll(L"Varnholt.dll");
    ASSERT_EQ(dll.nt->Signature, static_cast<DWORD>(IMAGE_NT_SIGNATURE));
    EXPECT_EQ(dll.nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_TRUE(dll.nt->FileHeader.Characteristics & IMAGE_FILE_DLL);

    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(dll.At(dll.Dir(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress));
    ASSERT_NE(exports, nullptr);
    ASSERT_EQ(exports->NumberOfNames, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, 1u);
    const auto* names = reinterpret_cast<const DWORD*>(dll.At(exports->AddressOfNames));
    EXPECT_STREQ(dll.At(names[0]), "Startup");

    const std::set<std::string> system = {"advapi32.dll", "comctl32.dll", "gdi32.dll",   "kernel32.dll",
                                          "msvcrt.dll",   "ole32.dll",    "shell32.dll", "user32.dll"};
    std::set<std::string> hostFunctions;
    bool importsHost = false;
    for (const auto* imp = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
             dll.At(dll.Dir(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress));
         imp && imp->Name; ++imp) {
        const std::string name = Lower(dll.At(imp->Name));
        if (name == "vyllib.dll") {
            importsHost = true;
            for (const auto* t = reinterpret_cast<const IMAGE_THUNK_DATA64*>(dll.At(imp->OriginalFirstThunk));
                 t->u1.AddressOfData; ++t)
                hostFunctions.insert(
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(dll.At(static_cast<DWORD>(t->u1.AddressOfData)))
                        ->Name);
        } else {
            EXPECT_TRUE(system.count(name)) << "imports " << name;
        }
    }
    EXPECT_TRUE(importsHost);
    EXPECT_EQ(hostFunctions, (std::set<std::string>{"VylCtlRegisterVylLib2", "VylEvtSetEventMask", "VylMsgPutMessage",
                                                    "VylCtlSetExecuteFunc", "VylDlgMessageBox",
                                                    "VylFilGetCadDrawingPath", "VylFilSaveCadDrawingAsTmpFile"}));
}

TEST(BinaryTest, LinkedWithAslrHighEntropyAndDep) {
    Image dll(L"Varnholt.dll");
    const WORD flags = dll.nt->OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    EXPECT_NE(dll.Dir(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size, 0u);
}

TEST(BinaryTest, VersionResourceAndManifest) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(L"Varnholt.dll", &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(L"Varnholt.dll", 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00040002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010001u);
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } strings[] = {{L"FileDescription", L"도면자동저장"},
                   {L"InternalName", L"Varnholt.dll"},
                   {L"OriginalFilename", L"Varnholt.dll"},
                   {L"ProductName", L"Varnholt Dll"}};
    for (const auto& s : strings) {
        wchar_t* value = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\041204b0\\") + s.name;
        ASSERT_TRUE(VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &len)) << Utf8(s.name);
        EXPECT_EQ(std::wstring(value), s.value);
    }

    HMODULE res = LoadLibraryExW(L"Varnholt.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(res, nullptr);
    HRSRC manifest = FindResourceW(res, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
    ASSERT_NE(manifest, nullptr);
    const std::string text(static_cast<const char*>(LockResource(LoadResource(res, manifest))),
                           SizeofResource(res, manifest));
    EXPECT_NE(text.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(text.find("<dpiAware"), std::string::npos);
    FreeLibrary(res);
}

// Reads the dialog template item by item and checks it against the layout the dialog is drawn for.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* p) : p_(p) {}
    WORD Word() {
        WORD w;
        memcpy(&w, p_, 2);
        p_ += 2;
        return w;
    }
    DWORD Dword() {
        DWORD d;
        memcpy(&d, p_, 4);
        p_ += 4;
        return d;
    }
    short Short() { return static_cast<short>(Word()); }
    // A string, or "#n" for an ordinal.
    std::wstring SzOrOrd() {
        WORD first = Word();
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        std::wstring s;
        for (; first; first = Word()) s += static_cast<wchar_t>(first);
        return s;
    }
    void AlignDword(const BYTE* base) {
        while ((p_ - base) % 4) ++p_;
    }
    void Skip(std::size_t n) { p_ += n; }
    const BYTE* p_;
};

struct TemplateItem {
    int id;
    const wchar_t* cls;
    const wchar_t* caption;
    short x, y, w, h;
    DWORD style;
};

// Checks template `id`: the shared style and font, the caption and size, and every item.
void CheckTemplate(HMODULE res, int id, const wchar_t* caption, short cx, short cy,
                   const std::vector<TemplateItem>& items) {
    HRSRC found = FindResourceW(res, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
    ASSERT_NE(found, nullptr);
    const auto* base = static_cast<const BYTE*>(LockResource(LoadResource(res, found)));
    TemplateReader r(base);
    EXPECT_EQ(r.Word(), 1);       // dlgVer
    EXPECT_EQ(r.Word(), 0xFFFF);  // extended template
    EXPECT_EQ(r.Dword(), 0u);     // help id
    EXPECT_EQ(r.Dword(), 0u);     // extended style
    EXPECT_EQ(r.Dword(), 0x80C800C8u);
    const WORD count = r.Word();
    ASSERT_EQ(count, items.size());
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), cx);
    EXPECT_EQ(r.Short(), cy);
    EXPECT_EQ(r.SzOrOrd(), L"");  // menu
    EXPECT_EQ(r.SzOrOrd(), L"");  // class
    EXPECT_EQ(r.SzOrOrd(), caption);
    EXPECT_EQ(r.Word(), 8);
    EXPECT_EQ(r.Word(), 400);
    const WORD italicAndCharset = r.Word();
    EXPECT_EQ(italicAndCharset & 0xFF, 0);  // not italic
    EXPECT_EQ(italicAndCharset >> 8, 1);    // DEFAULT_CHARSET
    EXPECT_EQ(r.SzOrOrd(), L"MS Shell Dlg");
    for (const TemplateItem& item : items) {
        SCOPED_TRACE(testing::Message() << "item " << (&item - items.data()));
        r.AlignDword(base);
        EXPECT_EQ(r.Dword(), 0u);  // help id
        EXPECT_EQ(r.Dword(), 0u);  // extended style
        EXPECT_EQ(r.Dword(), item.style);
        EXPECT_EQ(r.Short(), item.x);
        EXPECT_EQ(r.Short(), item.y);
        EXPECT_EQ(r.Short(), item.w);
        EXPECT_EQ(r.Short(), item.h);
        EXPECT_EQ(static_cast<int>(r.Dword()), item.id);
        // Class names count without case; a predefined class may stand as its name or its ordinal.
        std::wstring cls = r.SzOrOrd();
        for (wchar_t& c : cls) c = static_cast<wchar_t>(towupper(c));
        if (cls == L"BUTTON") cls = L"#128";
        if (cls == L"EDIT") cls = L"#129";
        if (cls == L"STATIC") cls = L"#130";
        EXPECT_EQ(cls, item.cls);
        EXPECT_EQ(r.SzOrOrd(), item.caption);
        r.Skip(r.Word());  // creation data
    }
}

TEST(BinaryTest, DialogTemplatesAreExactlyTheirLayouts) {
    HMODULE res = LoadLibraryExW(L"Varnholt.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(res, nullptr);
    {
        SCOPED_TRACE("settings dialog: the original controls, then the one new button");
        CheckTemplate(res, 12000, L" ", 207, 326,
                      {
                          {1, L"#128", L"확인", 51, 296, 50, 14, 0x50010001},
                          {2, L"#128", L"취소", 106, 296, 50, 14, 0x50010000},
                          {12011, L"SYSLISTVIEW32", L"", 9, 80, 189, 81, 0x50810805},
                          {12010, L"#130", L"", 31, 164, 15, 13, 0x5000010E},
                          {12000, L"#128", L"자동백업 사용", 16, 16, 75, 10, 0x50010003},
                          {-1, L"#130", L"◆. 백업폴더 : ", 16, 52, 55, 8, 0x50020000},
                          {12001, L"#128", L"백업폴더지정", 137, 49, 57, 14, 0x50010000},
                          {12002, L"#129", L"", 25, 64, 168, 14, 0x58810080},
                          {-1, L"#130", L"◆. 저장시간간격 : ", 16, 38, 69, 8, 0x50020000},
                          {12003, L"#129", L"", 93, 35, 25, 14, 0x50810082},
                          {-1, L"#130", L"분(Minute)", 123, 38, 54, 8, 0x50020000},
                          {12012, L"#128", L"백업 관리...", 137, 14, 57, 14, 0x50010000},
                      });
    }
    {
        SCOPED_TRACE("backup management dialog");
        CheckTemplate(
            res, 12020, L"백업 관리", 262, 258,
            {
                {12021, L"#128", L"이전 사본과 내용이 같으면 새 사본을 남기지 않음", 12, 12, 238, 10, 0x50010003},
                {-1, L"#130", L"최근 사본만 보관 (개, 0 = 모두)", 12, 31, 170, 8, 0x50020000},
                {12022, L"#129", L"", 190, 28, 60, 14, 0x50810082},
                {-1, L"#130", L"보관 기간 (일, 0 = 제한 없음)", 12, 49, 170, 8, 0x50020000},
                {12023, L"#129", L"", 190, 46, 60, 14, 0x50810082},
                {12024, L"#128", L"오래된 사본 솎아내기 (하루 지나면 하루에 하나, 30일 지나면 한 주에 하나)", 12, 66,
                 238, 18, 0x50012003},
                {12031, L"#128", L"CAD가 비정상 종료되면 다음 시작 때 최근 사본 알려 주기", 12, 88, 238, 10,
                 0x50010003},
                {12032, L"#128", L"저장 실패가 계속되면 처음 한 번만 창으로 알리기", 12, 102, 238, 10, 0x50010003},
                {-1, L"#128", L"미리 보기", 7, 118, 248, 52, 0x50000007},
                {12025, L"#130", L"", 14, 130, 234, 36, 0x50020000},
                {-1, L"#128", L"마지막 백업", 7, 174, 248, 36, 0x50000007},
                {12026, L"#130", L"", 14, 186, 234, 20, 0x50020000},
                {12027, L"#128", L"백업 폴더 열기", 7, 216, 70, 14, 0x50010000},
                {12028, L"#130", L"", 82, 219, 173, 8, 0x50020000},
                {12029, L"#128", L"기존 사본 등록...", 7, 238, 80, 14, 0x58010000},
                {12030, L"#128", L"사본 목록...", 92, 238, 52, 14, 0x50010000},
                {1, L"#128", L"확인", 150, 238, 50, 14, 0x50010001},
                {2, L"#128", L"취소", 205, 238, 50, 14, 0x50010000},
            });
    }
    {
        SCOPED_TRACE("copy list");
        CheckTemplate(res, 12040, L"사본 목록", 420, 222,
                      {
                          {12041, L"SYSLISTVIEW32", L"", 7, 7, 406, 164, 0x5081000D},
                          {12042, L"#128", L"폴더에서 보기", 7, 177, 70, 14, 0x58010000},
                          {12043, L"#128", L"원본 옆에 복사", 82, 177, 70, 14, 0x58010000},
                          {12044, L"#130", L"", 7, 196, 351, 20, 0x50020080},
                          {2, L"#128", L"닫기", 363, 177, 50, 14, 0x50010001},
                      });
    }
    for (int id = 12004; id <= 12007; ++id) {
        HRSRC bitmap =
            FindResourceExW(res, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(id), MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN));
        ASSERT_NE(bitmap, nullptr) << id;
        const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(res, bitmap)));
        EXPECT_EQ(header->biSize, 40u);
        EXPECT_EQ(header->biBitCount, 24);
        EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB));
        EXPECT_GT(header->biHeight, 0);  // bottom-up
        const LONG sizes[4][2] = {{206, 169}, {206, 208}, {206, 148}, {215, 194}};
        EXPECT_EQ(header->biWidth, sizes[id - 12004][0]);
        EXPECT_EQ(header->biHeight, sizes[id - 12004][1]);
    }
    FreeLibrary(res);
}

}  // namespace
