// What the Windows files of src/platform share: conversions between the wide API's text and the
// narrow text the program works in, and the wide paths that narrow ones stand for.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace platform {

// text in the ANSI code page, converted as the narrow interfaces convert it.
std::wstring WideFromNarrow(const std::string& text);
// text as the narrow interfaces show it: WideCharToMultiByte(CP_ACP, 0), best fit and "?" included.
std::string NarrowFromWide(const std::wstring& text);
// text as the run's narrow encoding holds it, without best fit: a character that the code page
// lacks becomes "?", never another character. What the user typed is converted so: best fit would
// make a switch letter of "ä" and a separator of "¥".
std::string TypedNarrowFromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

// How many bytes of text, whole characters only (code page 932 has double-byte ones), fit in limit
// bytes.
std::size_t WholeCharactersWithin(const std::string& text, std::size_t limit);

// The narrow paths the platform handed out that are not built from a listing's names: a
// command-line argument, the current folder, the last full path made; each stands for wide.
void RememberTypedPath(const std::string& narrow, const std::wstring& wide);
void RememberCurrentFolder(const std::string& narrow, const std::wstring& wide);
void RememberFullPath(const std::string& narrow, const std::wstring& wide);

// A listing has filled an entry with shown, the name as the run's narrow text shows it, cut to fit
// the entry, and realName is the entry's own: on a console, WholeName shows the whole of it.
void NoteShownName(const char* shown, const wchar_t* realName);

// The "\\?\" form of path, which the system takes as it is: made absolute, and its doubled
// separators, "." and ".." resolved first.
std::wstring LiteralPath(const std::wstring& path);
// The wide path a narrow path that the user typed stands for, to be read by the path rules.
std::wstring TypedWidePath(const std::string& path);

// The "\\?\" path of the folder that the first length bytes of a narrow path name when a visit of
// the listing engine accounts for them (its own path, or a subfolder it delivered, by its real
// name); false when none does.
bool ListedWidePath(const char* narrowPath, std::size_t length, std::wstring& wide);

}  // namespace platform
