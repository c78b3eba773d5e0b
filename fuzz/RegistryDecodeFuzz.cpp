// Asserts: decoding bytes of any length and declared type never reads past them, text
// stops at the first NUL, integers need exactly 4 bytes, and a load never replaces a
// value that is readable for its field.
#include <cstdlib>

#include "tests/native/MemoryRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint32_t type = data[0] % 12;
    const int which = data[1] % 4;
    const std::vector<uint8_t> bytes(data + 2, data + size);

    const std::wstring text = DecodeRegString(bytes);
    if (text.size() > bytes.size() / 2 || text.find(L'\0') != std::wstring::npos) abort();
    const std::vector<uint8_t> again = EncodeRegString(text);
    if (!std::equal(again.begin(), again.end() - 2, bytes.begin())) abort();
    int32_t number = 7;
    if (DecodeRegDword(bytes, number) != (bytes.size() == 4)) abort();
    if (bytes.size() != 4 && number != 7) abort();

    const wchar_t* names[] = {L"mIsAutoBackup", L"mTime", L"mFolder", L"mMainItemNo"};
    MemoryRegistry reg;
    const std::wstring key = SettingsKeyPath(L"Varnholt");
    reg.values[{key, names[which]}] = {type, bytes};
    BackupSettings settings;
    LoadSettings(reg, L"Varnholt", settings);
    const bool readable = which == 0 || which == 2 || bytes.size() == 4;
    const StoredValue& stored = reg.values[{key, names[which]}];
    if (readable && !(stored == StoredValue{type, bytes})) abort();
    if (which == 2 && settings.mFolder != text) abort();
    if (which == 0 && settings.mIsAutoBackup != (text == L"1" ? 1 : 0)) abort();
    return 0;
}
