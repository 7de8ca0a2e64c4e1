// Starts a program with an exact command line, which no shell and no Wine start-up could pass
// through unchanged: start_with_command_line PROGRAM HEX, where HEX spells in hexadecimal the bytes
// that follow the quoted program name and a space. Exits with the program's exit status.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::string line = std::string("\"") + argv[1] + "\" ";
  for (const char* at = argv[2]; at[0] != '\0' && at[1] != '\0'; at += 2) {
    unsigned value = 0;
    if (std::sscanf(at, "%2x", &value) != 1) return 2;
    line.push_back(static_cast<char>(value));
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return 3;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}
