// A built-in text in this run's encoding.
#pragma once

#include <cstddef>

#include "platform/platform.h"
#include "text/native_text.h"

// On POSIX both forms are UTF-8; on Windows the UTF-8 one goes to a console, which is handed wide
// text, and the code page 932 one everywhere else.
template <std::size_t N>
const char* RunText(const NativeText<N>& text) {
  return platform::TextIsUtf8() ? text.utf8 : text.bytes;
}
