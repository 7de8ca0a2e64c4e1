// What the Windows files of src/platform share: conversions between the wide API's text and the
// narrow text the program works in, and the record of narrow paths the platform itself handed out.
#pragma once

#include <cstddef>
#include <cwchar>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace platform {

// text in the ANSI code page, converted as the narrow interfaces convert it.
std::wstring WideFromNarrow(const std::string& text);
// text as the narrow interfaces show it: WideCharToMultiByte(CP_ACP, 0), best fit and "?" included.
std::string NarrowFromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

// Narrow paths, a whole character at a time.
bool IsDoubleByte(const char* at);
// Whether path is base itself or lies below it; rest is then what follows base, its separator
// first.
bool Below(const std::string& path, const std::string& base, std::string& rest);
// Where the last part of a narrow path begins.
std::size_t LastPartAt(const char* path);
// Where the first separator of a narrow path is, or its length when it has none.
std::size_t FirstSeparatorAt(const char* path);
// How many bytes of text, whole characters only, fit in limit bytes.
std::size_t WholeCharactersWithin(const std::string& text, std::size_t limit);

// The narrow paths the platform handed out that are not built from a listing's names: a
// command-line argument, the current folder, the last full path made; each stands for wide.
void RememberTypedPath(const std::string& narrow, const std::wstring& wide);
void RememberCurrentFolder(const std::string& narrow, const std::wstring& wide);
void RememberFullPath(const std::string& narrow, const std::wstring& wide);

// An open listing, as the narrow operations hand it out.
struct DeliveredFolder {
  std::string shown;
  std::wstring real;
};

struct Listing {
  HANDLE find;
  std::string folder;
  // The folder in the "\\?\" form, which the system takes as it is: a name read from a folder
  // reaches that very entry only in this form, since the ordinary one drops a name's trailing dots
  // and spaces and reads "\" and ".." in it as steps of the path.
  std::wstring systemFolder;
  DeliveredFolder earlier;
  DeliveredFolder later;

  void Delivered(const WIN32_FIND_DATAW& entry, const char* shown) {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return;
    if (std::wcscmp(entry.cFileName, L".") == 0 || std::wcscmp(entry.cFileName, L"..") == 0) return;
    std::swap(earlier, later);
    later.shown.assign(shown);
    later.real.assign(entry.cFileName);
  }
  void Exhausted() {
    std::swap(earlier, later);
    later.shown.clear();
    later.real.clear();
  }
  // The real name of the recorded subfolder shown as shown; the earlier when both show it.
  bool RealName(const std::string& shown, std::wstring& real) const {
    for (DeliveredFolder const* recorded : {&earlier, &later}) {
      if (!recorded->real.empty() && recorded->shown == shown) {
        real = recorded->real;
        return true;
      }
    }
    return false;
  }
};

// While a listing is open, its folder and the subfolders it delivered are taken to their real
// names.
void AddOpenListing(Listing* listing);
void RemoveOpenListing(Listing* listing);
// The wide path a narrow one the platform handed out stands for; literal when it is in the
// "\\?\" form, to be handed to the system as it is.
std::wstring WidePath(const std::string& path, bool& literal);
// The wide path a narrow path that the user typed stands for, to be read by the path rules.
std::wstring TypedWidePath(const std::string& path);

}  // namespace platform
