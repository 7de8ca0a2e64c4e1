// Every text the command driver writes. Each exists here once, in UTF-8; the platform decides at
// compile time which bytes leave the program.
#pragma once

#include "text/native_text.h"

inline constexpr auto kInvalidSwitch = ToNativeText("無効なスイッチです - ");
inline constexpr auto kTooManyParameters = ToNativeText("パラメータの数が多すぎます - ");
inline constexpr auto kInvalidPath = ToNativeText("無効なパスです - ");
inline constexpr auto kNoSubfolders = ToNativeText("サブフォルダは存在しません");
inline constexpr auto kTitle = ToNativeText("フォルダ パスの一覧");
// The serial number line is this lead, the number's high and low 16 bits as four upper-case
// hexadecimal digits each, joined by a colon when no path was given and by a hyphen when one was,
// and this tail.
inline constexpr auto kSerialLead = ToNativeText("ボリューム シリアル番号は ");
inline constexpr auto kSerialTail = ToNativeText(" です");

inline constexpr auto kUsage1 = ToNativeText("ドライブやパスのフォルダ構造を図式表示します。");
inline constexpr auto kUsage3 = ToNativeText("FOLDGRAF [ドライブ:][パス] [/F] [/A] [/T]");
inline constexpr auto kUsage5 = ToNativeText("   /F   各フォルダのファイル名を表示します。");
inline constexpr auto kUsage6 = ToNativeText("   /A   拡張文字ではなく、ASCII 文字で表示します。");
inline constexpr auto kUsage7 = ToNativeText("   /T   各ファイルのタイムスタンプを表示します。");
