// The whole command driver on any argument vector: the input is split at its NUL bytes into
// arguments (the one byte an argument cannot hold), scanned, and then carried out over a small
// in-memory file system. The scan must only ever point at arguments it was given.
#include <cstdint>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "fake_file_system.h"
#include "fuzz_support.h"

namespace {

OutputSink sink(1 << 16);

bool IsArgument(const char* pointer, const std::vector<const char*>& argv) {
  for (std::size_t at = 1; at < argv.size(); ++at) {
    if (argv[at] == pointer) return true;
  }
  return false;
}

void MakeFileSystem() {
  FakeFileSystem& fake = FakeFileSystem::Get();
  fake.Reset();
  fake.AddFolder("C:\\", {Folder("work"), File("boot")});
  fake.AddFolder("C:\\work", {Folder("."), Folder(".."), Folder("a"), File("f"), Folder("b")});
  fake.AddFolder("C:\\work\\a", {Folder("a1"), File("x")});
  fake.AddFolder("C:\\work\\a\\a1", {File("y")});
  fake.MakeUnreadable("C:\\work\\b");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  OutputSink::DiscardFormattedOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string const bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> arguments;
  for (std::size_t start = 0; start <= bytes.size();) {
    std::size_t end = bytes.find('\0', start);
    if (end == std::string::npos) end = bytes.size();
    arguments.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  std::vector<const char*> argv{"foldgraf"};
  if (size > 0) {
    for (std::string const& argument : arguments) argv.push_back(argument.c_str());
  }

  CommandLine const scanned = ScanArguments(static_cast<int>(argv.size()), argv.data());
  FUZZ_REQUIRE(scanned.target == nullptr || IsArgument(scanned.target, argv));
  bool const failed = scanned.outcome == CommandLine::Outcome::kInvalidSwitch ||
                      scanned.outcome == CommandLine::Outcome::kTooManyParameters;
  FUZZ_REQUIRE(failed == (scanned.offending != nullptr));
  FUZZ_REQUIRE(scanned.offending == nullptr || IsArgument(scanned.offending, argv));

  MakeFileSystem();
  sink.Start();
  RunCommandLine(scanned);
  FUZZ_REQUIRE(FakeFileSystem::Get().openListings == 0);
  return 0;
}
