#include "support/expected_listing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/program.h"

namespace {

std::uint32_t ReadWineSerial() {
  const Outcome run =
      RunCommand(Command("list_folder.exe"), Invocation({"/serial", Drive() + "\\"}));
  char* end = nullptr;
  const unsigned long serial = strtoul(run.out.c_str(), &end, 16);
  if (end == run.out.c_str()) {
    ADD_FAILURE() << "list_folder /serial printed \"" << run.out << "\"";
    return 0;
  }
  return static_cast<std::uint32_t>(serial);
}

// Read with stat(1), so that the expectation does not share code with the program.
std::uint32_t ReadDriveCSerial() {
  if (UnderWine()) return ReadWineSerial();
  FILE* pipe = popen("stat -f -c %i / 2>/dev/null", "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run stat -f -c %i /";
    return 0;
  }
  char text[64] = {};
  const bool got = fgets(text, sizeof text, pipe) != nullptr;
  pclose(pipe);
  char* end = nullptr;
  const unsigned long long id = got ? strtoull(text, &end, 16) : 0;
  if (!got || end == text) {
    ADD_FAILURE() << "stat -f -c %i / printed no file system id";
    return 0;
  }
  return static_cast<std::uint32_t>(id & 0xffffffffu);
}

// Entries as Wine's own listing delivers them, read with list_folder.exe.
std::vector<Entry> WineListing(const std::string& folder) {
  std::vector<Entry> entries;
  const Outcome run = RunCommand(Command("list_folder.exe"), Invocation({WinPath(folder)}));
  if (!run.exited || run.status != 0) {
    ADD_FAILURE() << "list_folder " << folder.substr(0, 80) << " failed";
    return entries;
  }
  for (const std::string& line : SplitAtLineEnds(run.out)) {
    if (line.size() < 3 || (line[0] != 'D' && line[0] != 'F') || line[1] != ' ') {
      ADD_FAILURE() << "list_folder printed \"" << Shown(line) << "\"";
      continue;
    }
    entries.push_back({Utf8Text(line.substr(2)), line[0] == 'D'});
  }
  return entries;
}

void DrawBelow(const std::string& folder, const std::string& prefix, const Drawing& drawing,
               std::string* out) {
  Names subfolders, files;
  for (const Entry& entry : Listing(folder))
    (entry.folder ? subfolders : files).push_back(entry.name);
  if (drawing.files && !files.empty()) {
    const std::string& segment = subfolders.empty() ? drawing.glyphs.blank : drawing.glyphs.bar;
    for (const std::string& name : files) *out += prefix + segment + drawing.stamp + name + kCrLf;
    *out += prefix + segment + kCrLf;
  }
  for (std::size_t i = 0; i < subfolders.size(); ++i) {
    const bool more = i + 1 < subfolders.size();
    *out += prefix + (more ? drawing.glyphs.tee : drawing.glyphs.end) + subfolders[i] + kCrLf;
    const std::string child = folder + "/" + subfolders[i];
    if (drawing.cut.count(child) == 0) {
      DrawBelow(child, prefix + (more ? drawing.glyphs.bar : drawing.glyphs.blank), drawing, out);
    }
  }
}

}  // namespace

std::string WinPath(std::string_view posix) {
  std::string path = Drive() + std::string(posix);
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::uint32_t DriveCSerial() {
  static const std::uint32_t serial = ReadDriveCSerial();
  return serial;
}

std::string SerialLine(char separator, std::uint32_t serial) {
  char halves[16];
  snprintf(halves, sizeof halves, "%04X%c%04X", static_cast<unsigned>(serial >> 16), separator,
           static_cast<unsigned>(serial & 0xffffu));
  return "ボリューム シリアル番号は " + std::string(halves) + " です";
}

std::string FirstLines(const std::string& text, int count) {
  std::size_t at = 0;
  for (int i = 0; i < count; ++i) {
    const std::size_t end = text.find(kCrLf, at);
    if (end == std::string::npos) return text;
    at = end + kCrLf.size();
  }
  return text.substr(0, at);
}

std::vector<Entry> Listing(const std::string& folder) {
  if (UnderWine()) return WineListing(folder);
  std::vector<Entry> entries;
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) {
    ADD_FAILURE() << "opendir " << folder.substr(0, 80) << ": " << strerror(errno);
    return entries;
  }
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    const bool folder_entry =
        fstatat(dirfd(listing), name.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
    entries.push_back({name, folder_entry});
  }
  closedir(listing);
  return entries;
}

Names SubfolderNames(const std::string& folder) {
  Names names;
  for (const Entry& entry : Listing(folder)) {
    if (entry.folder) names.push_back(entry.name);
  }
  return names;
}

Names FileNames(const std::string& folder) {
  Names names;
  for (const Entry& entry : Listing(folder)) {
    if (!entry.folder) names.push_back(entry.name);
  }
  return names;
}

std::string DrawnTree(const std::string& folder, const Drawing& drawing) {
  std::string out;
  DrawBelow(folder, "", drawing, &out);
  return out;
}
