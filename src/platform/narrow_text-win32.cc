// Text between the wide API and the narrow text the program works in: conversions as the narrow
// interfaces make them, and narrow paths read a whole character at a time, so that the second byte
// of a double-byte character is never taken for a separator.
#include "platform/win32_internal.h"

namespace platform {

namespace {

std::wstring WideFrom(UINT codePage, const std::string& text) {
  if (text.empty()) return {};
  int const size =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string NarrowFrom(UINT codePage, const std::wstring& text) {
  if (text.empty()) return {};
  int const size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}

}  // namespace

std::wstring WideFromNarrow(const std::string& text) { return WideFrom(CP_ACP, text); }
std::string NarrowFromWide(const std::wstring& text) { return NarrowFrom(CP_ACP, text); }
std::wstring WideFromUtf8(const std::string& text) { return WideFrom(CP_UTF8, text); }
std::string Utf8FromWide(const std::wstring& text) { return NarrowFrom(CP_UTF8, text); }

// Whether path is base itself or lies below it; rest is then what follows base, its separator
// first.
bool Below(const std::string& path, const std::string& base, std::string& rest) {
  if (base.empty() || path.compare(0, base.size(), base) != 0) return false;
  if (path.size() > base.size() && path[base.size()] != '\\' && path[base.size()] != '/') {
    return false;
  }
  rest = path.substr(base.size());
  return true;
}

bool IsDoubleByte(const char* at) {
  return IsDBCSLeadByte(static_cast<BYTE>(*at)) && at[1] != '\0';
}

// Where the last part of a narrow path begins.
std::size_t LastPartAt(const char* path) {
  std::size_t part = 0;
  for (std::size_t at = 0; path[at] != '\0'; ++at) {
    if (IsDoubleByte(path + at)) {
      ++at;
    } else if (path[at] == '\\' || path[at] == '/') {
      part = at + 1;
    }
  }
  return part;
}

// Where the first separator of a narrow path is, or its length when it has none.
std::size_t FirstSeparatorAt(const char* path) {
  std::size_t at = 0;
  for (; path[at] != '\0' && path[at] != '\\' && path[at] != '/'; ++at) {
    if (IsDoubleByte(path + at)) ++at;
  }
  return at;
}

// How many bytes of text, whole characters only, fit in limit bytes.
std::size_t WholeCharactersWithin(const std::string& text, std::size_t limit) {
  std::size_t fits = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t const next = at + (IsDoubleByte(text.c_str() + at) ? 2 : 1);
    if (next > limit) break;
    fits = at = next;
  }
  return fits;
}

}  // namespace platform
