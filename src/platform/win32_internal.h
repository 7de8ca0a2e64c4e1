// What the Windows files of src/platform share: conversions between the wide API's text and the
// narrow text the program works in, and the record of narrow paths the platform itself handed out.
#pragma once

#define FOLDGRAF_SYSTEM_NARROW_API
#include <string>

#include "platform/platform.h"

// text in the ANSI code page, converted as the narrow interfaces convert it.
std::wstring WideFromNarrow(const std::string& text);
// text as the narrow interfaces show it: WideCharToMultiByte(CP_ACP, 0), best fit and "?" included.
std::string NarrowFromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

// Remembers that narrow, a command-line argument, stands for wide.
void RememberTypedPath(const std::string& narrow, const std::wstring& wide);
