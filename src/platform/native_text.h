// Built-in texts are written once, in UTF-8, in the source. Each platform writes them in its own
// narrow encoding, made from that one source at compile time: UTF-8 unchanged on POSIX, code page 932
// on Windows. A character missing from the table below stops the Windows build, never the output.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

struct CodePage932Pair {
  std::uint32_t unicode;
  std::uint16_t bytes;
};

// Every non-ASCII character that the built-in texts use; the tests check each against the system's
// own converter.
inline constexpr CodePage932Pair kCodePage932Table[] = {
    {0x2500, 0x849F},  // ─
    {0x2502, 0x84A0},  // │
    {0x2514, 0x84A4},  // └
    {0x251C, 0x84A5},  // ├
    {0x3001, 0x8141},  // 、
    {0x3002, 0x8142},  // 。
    {0x304C, 0x82AA},  // が
    {0x304E, 0x82AC},  // ぎ
    {0x304F, 0x82AD},  // く
    {0x3057, 0x82B5},  // し
    {0x3059, 0x82B7},  // す
    {0x305B, 0x82B9},  // せ
    {0x3067, 0x82C5},  // で
    {0x306A, 0x82C8},  // な
    {0x306E, 0x82CC},  // の
    {0x306F, 0x82CD},  // は
    {0x307E, 0x82DC},  // ま
    {0x3084, 0x82E2},  // や
    {0x3092, 0x82F0},  // を
    {0x3093, 0x82F1},  // ん
    {0x30A1, 0x8340},  // ァ
    {0x30A2, 0x8341},  // ア
    {0x30A4, 0x8343},  // イ
    {0x30A9, 0x8348},  // ォ
    {0x30B5, 0x8354},  // サ
    {0x30B7, 0x8356},  // シ
    {0x30B9, 0x8358},  // ス
    {0x30BF, 0x835E},  // タ
    {0x30C0, 0x835F},  // ダ
    {0x30C1, 0x8360},  // チ
    {0x30C3, 0x8362},  // ッ
    {0x30C9, 0x8368},  // ド
    {0x30D1, 0x8370},  // パ
    {0x30D5, 0x8374},  // フ
    {0x30D6, 0x8375},  // ブ
    {0x30D7, 0x8376},  // プ
    {0x30DC, 0x837B},  // ボ
    {0x30E0, 0x8380},  // ム
    {0x30E1, 0x8381},  // メ
    {0x30E5, 0x8385},  // ュ
    {0x30E9, 0x8389},  // ラ
    {0x30EA, 0x838A},  // リ
    {0x30EB, 0x838B},  // ル
    {0x30F3, 0x8393},  // ン
    {0x30FC, 0x815B},  // ー
    {0x4E00, 0x88EA},  // 一
    {0x52B9, 0x8CF8},  // 効
    {0x53F7, 0x8D86},  // 号
    {0x5404, 0x8A65},  // 各
    {0x540D, 0x96BC},  // 名
    {0x56F3, 0x907D},  // 図
    {0x5728, 0x8DDD},  // 在
    {0x591A, 0x91BD},  // 多
    {0x5B57, 0x8E9A},  // 字
    {0x5B58, 0x91B6},  // 存
    {0x5F0F, 0x8EAE},  // 式
    {0x5F35, 0x92A3},  // 張
    {0x62E1, 0x8A67},  // 拡
    {0x6570, 0x9094},  // 数
    {0x6587, 0x95B6},  // 文
    {0x69CB, 0x8D5C},  // 構
    {0x7121, 0x96B3},  // 無
    {0x756A, 0x94D4},  // 番
    {0x793A, 0x8EA6},  // 示
    {0x8868, 0x955C},  // 表
    {0x89A7, 0x9797},  // 覧
    {0x9020, 0x91A2},  // 造
};

// The NUL-terminated bytes of one built-in text, and their count without the NUL.
template <std::size_t N>
struct NativeText {
  char bytes[N];
  std::size_t size;
};

// Converts NUL-terminated UTF-8 into code page 932; a character that the table lacks, or UTF-8 that
// is not well formed, makes the result's size exceed the input (detected by ToCodePage932's callers).
constexpr std::size_t ConvertToCodePage932(const char* utf8, char* out) {
  std::size_t written = 0;
  for (std::size_t at = 0; utf8[at] != '\0';) {
    auto const lead = static_cast<unsigned char>(utf8[at]);
    if (lead < 0x80) {
      out[written++] = utf8[at++];
      continue;
    }
    std::size_t const length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    std::uint32_t unicode = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      if (utf8[at + i] == '\0') return static_cast<std::size_t>(-1);
      unicode = (unicode << 6) | (static_cast<unsigned char>(utf8[at + i]) & 0x3F);
    }
    at += length;
    std::uint16_t bytes = 0;
    for (auto const& pair : kCodePage932Table) {
      if (pair.unicode == unicode) bytes = pair.bytes;
    }
    if (bytes == 0) return static_cast<std::size_t>(-1);
    out[written++] = static_cast<char>(bytes >> 8);
    out[written++] = static_cast<char>(bytes & 0xFF);
  }
  out[written] = '\0';
  return written;
}

template <std::size_t N>
consteval NativeText<N> ToNativeText(const char (&utf8)[N]) {
  NativeText<N> text{};
  if constexpr (kBuiltInTextsAreCodePage932) {
    text.size = ConvertToCodePage932(utf8, text.bytes);
    // Not a constant expression, so a text the table cannot convert fails to compile.
    if (text.size >= N) throw "built-in text has a character missing from kCodePage932Table";
  } else {
    for (std::size_t i = 0; i < N; ++i) text.bytes[i] = utf8[i];
    text.size = N - 1;
  }
  return text;
}
