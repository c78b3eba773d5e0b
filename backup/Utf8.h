// Strict UTF-8 conversions of wide text (UTF-16 where wchar_t has 16 bits, as on Windows;
// code points where it has 32). No Win32 here.
#pragma once
#include <string>
#include <string_view>

// False for text that does not convert: broken or overlong sequences, lone surrogates. On
// false `out` holds nothing of use.
bool Utf8ToWide(std::string_view in, std::wstring& out);
bool WideToUtf8(const std::wstring& in, std::string& out);
