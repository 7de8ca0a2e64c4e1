#include "support/text.h"

#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text.append(line).append("\r\n");
  return text;
}

std::string ExpectedUsage() {
  return Lines({
      "ドライブやパスのフォルダ構造を図式表示します。",
      "",
      "FOLDGRAF [ドライブ:][パス] [/F] [/A] [/T]",
      "",
      "   /F   各フォルダのファイル名を表示します。",
      "   /A   拡張文字ではなく、ASCII 文字で表示します。",
      "   /T   各ファイルのタイムスタンプを表示します。",
      "",
  });
}

bool Convert(const char* to, const char* from, const std::string& text, std::string* out) {
  iconv_t const converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::string input = text;
  out->assign(input.size() * 2 + 4, '\0');
  char* in = input.data();
  char* to_at = out->data();
  std::size_t in_left = input.size(), out_left = out->size();
  const bool converted =
      iconv(converter, &in, &in_left, &to_at, &out_left) != static_cast<std::size_t>(-1);
  iconv_close(converter);
  out->resize(out->size() - out_left);
  return converted;
}

namespace {

// The length of the UTF-8 character at s[i], or 0 when the bytes there are not one.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  std::size_t length = c < 0x80                 ? 1
                       : c >= 0xc2 && c <= 0xdf ? 2
                       : c >= 0xe0 && c <= 0xef ? 3
                       : c >= 0xf0 && c <= 0xf4 ? 4
                                                : 0;
  for (std::size_t k = 1; k < length; ++k) {
    if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xc0) != 0x80) length = 0;
  }
  return length;
}

// The rows of a diff of e and a ("-", "+" or " " before each line), by their longest common
// subsequence while that table stays small, else all of e's lines and then all of a's.
Names DiffRows(const Names& e, const Names& a) {
  const std::size_t n = e.size(), m = a.size();
  Names rows;
  if (n * m > 4'000'000) {
    for (const std::string& line : e) rows.push_back("-" + line);
    for (const std::string& line : a) rows.push_back("+" + line);
    return rows;
  }
  std::vector<std::uint32_t> lcs((n + 1) * (m + 1), 0);
  auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& { return lcs[i * (m + 1) + j]; };
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      at(i, j) = e[i] == a[j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    }
  }
  std::size_t i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && e[i] == a[j]) {
      rows.push_back(" " + e[i]), ++i, ++j;
    } else if (i < n && (j == m || at(i + 1, j) >= at(i, j + 1))) {
      rows.push_back("-" + e[i++]);
    } else {
      rows.push_back("+" + a[j++]);
    }
  }
  return rows;
}

}  // namespace

std::string Visible(std::string_view s) {
  std::string v;
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const std::size_t length = Utf8Length(s, i);
    if (c == '\r') {
      v += "<CR>";
    } else if (c == '\n') {
      v += "<LF>";
    } else if (c == '\t') {
      v += "<TAB>";
    } else if (length == 0 || c < 0x20 || c == 0x7f) {
      char name[8];
      std::snprintf(name, sizeof name, "<x%02X>", c);
      v += name;
    } else {
      v.append(s.substr(i, length));
      i += length;
      continue;
    }
    ++i;
  }
  return v;
}

std::string Shown(std::string_view line) {
  constexpr std::size_t kLongest = 240;
  if (line.size() <= kLongest) return Visible(line);
  std::size_t cut = kLongest;
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xc0) == 0x80) --cut;
  return Visible(line.substr(0, cut)) + "<... " + std::to_string(line.size() - cut) +
         " more bytes>";
}

Names SplitAtLineEnds(const std::string& text, bool* ends_in_crlf) {
  Names lines;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(text.substr(at, end - at));
  }
  if (at != text.size()) lines.push_back(text.substr(at));
  if (ends_in_crlf != nullptr) *ends_in_crlf = at == text.size();
  return lines;
}

std::string LineDiff(const std::string& expected, const std::string& actual) {
  bool expected_closed = false, actual_closed = false;
  const Names e = SplitAtLineEnds(expected, &expected_closed);
  const Names a = SplitAtLineEnds(actual, &actual_closed);
  std::size_t head = 0;
  while (head < e.size() && head < a.size() && e[head] == a[head]) ++head;
  std::size_t tail = 0;
  while (tail < e.size() - head && tail < a.size() - head &&
         e[e.size() - 1 - tail] == a[a.size() - 1 - tail]) {
    ++tail;
  }
  const Names rows =
      DiffRows(Names(e.begin() + head, e.end() - tail), Names(a.begin() + head, a.end() - tail));

  std::string report = "output differs (expected " + std::to_string(expected.size()) +
                       " bytes in " + std::to_string(e.size()) + " lines, got " +
                       std::to_string(actual.size()) + " bytes in " + std::to_string(a.size()) +
                       " lines); first difference at line " + std::to_string(head + 1) + ":\n";
  for (std::size_t k = head >= 2 ? head - 2 : 0; k < head; ++k) {
    report += "  " + std::to_string(k + 1) + "  \"" + Shown(e[k]) + "\"\n";
  }
  for (std::size_t k = 0; k < rows.size(); ++k) {
    if (k == 40) {
      report += "  ... " + std::to_string(rows.size() - 40) + " more\n";
      break;
    }
    report +=
        "  " + rows[k].substr(0, 1) + " \"" + Shown(std::string_view(rows[k]).substr(1)) + "\"\n";
  }
  if (expected_closed != actual_closed) {
    report += expected_closed ? "  (actual output does not end in CR LF)\n"
                              : "  (expected output does not end in CR LF)\n";
  }
  return report;
}
