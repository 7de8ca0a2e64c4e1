// Expected output, written out independently of the program's own texts.
#pragma once

#include <initializer_list>
#include <string>

// Joins lines with the CR LF that every line of output ends in.
inline std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (std::string const& line : lines) text.append(line).append("\r\n");
  return text;
}

inline std::string ExpectedUsage() {
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
