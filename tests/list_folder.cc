// What the Windows platform itself delivers, for the end-to-end suite's expectations under Wine:
//   list_folder FOLDER   one line per entry of FOLDER, in the listing's order, "." and ".." left
//                        out: "D " for a folder entry or "F " for any other, then the name
//   list_folder /serial ROOT   the volume serial number of ROOT as eight hexadecimal digits, or
//                        "none" when it cannot be read
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "/serial") == 0) {
    DWORD serial = 0;
    if (GetVolumeInformationA(argv[2], nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) {
      std::printf("%08lX\n", static_cast<unsigned long>(serial));
    } else {
      std::printf("none\n");
    }
    return 0;
  }
  if (argc != 2) return 2;
  std::string const pattern = std::string(argv[1]) + "\\*";
  WIN32_FIND_DATAA entry;
  HANDLE const listing = FindFirstFileA(pattern.c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) return 1;
  do {
    if (std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0) continue;
    bool const folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    std::printf("%c %s\n", folder ? 'D' : 'F', entry.cFileName);
  } while (FindNextFileA(listing, &entry));
  FindClose(listing);
  return 0;
}
