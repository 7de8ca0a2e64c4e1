// The listing run and the folder walk over an in-memory file system made from the input: trees of
// any shape and order, names of any bytes up to the entry record's limit, "." and ".." anywhere,
// listings that fail to open or vanish between calls, folder links back up the tree or across it,
// and chains of long names that reach past the path limit. Every listing opened must be closed.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver/run_listing.h"
#include "fake_file_system.h"
#include "fuzz_support.h"

namespace {

OutputSink sink(1 << 20);

constexpr int kMostFolders = 48;
constexpr int kMostEntries = 10;
constexpr std::size_t kLongestName = sizeof WIN32_FIND_DATAA::cFileName - 1;

class TreeMaker {
 public:
  explicit TreeMaker(FuzzedDataProvider& input) : input_(input) {}

  void Fill(const std::string& path, std::vector<std::string>& ancestors) {
    made_.push_back(path);
    ancestors.push_back(path);
    std::vector<FakeEntry> entries;
    int const count = input_.ConsumeIntegralInRange(0, kMostEntries);
    for (int i = 0; i < count && input_.remaining_bytes() > 0; ++i) {
      FakeEntry entry = MakeEntry(path, ancestors);
      entries.push_back(entry);
    }
    FakeFileSystem& fake = FakeFileSystem::Get();
    fake.AddFolder(path, entries);
    switch (input_.ConsumeIntegralInRange(0, 7)) {
      case 0:
        fake.MakeUnreadable(path);
        break;
      case 1:
        fake.VanishAfter(path, input_.ConsumeIntegralInRange(0, 3));
        break;
      default:
        break;
    }
    ancestors.pop_back();
  }

 private:
  std::string MakeName() {
    if (input_.ConsumeBool()) return input_.ConsumeRandomLengthString(kLongestName);
    // Long names cost the input two bytes, so that paths reach the limit within a few levels.
    auto const length = input_.ConsumeIntegralInRange<std::size_t>(0, kLongestName);
    return std::string(length, static_cast<char>(input_.ConsumeIntegral<std::uint8_t>()));
  }

  FakeEntry MakeEntry(const std::string& path, const std::vector<std::string>& ancestors) {
    switch (input_.ConsumeIntegralInRange(0, 5)) {
      case 0: {
        FILETIME lastWrite{input_.ConsumeIntegral<DWORD>(), input_.ConsumeIntegral<DWORD>()};
        return File(MakeName(), lastWrite);
      }
      case 1:
        return input_.ConsumeBool() ? Folder(".") : Folder("..");
      case 2:
      case 3: {
        FakeEntry folder = Folder(MakeName());
        std::vector<std::string> path_so_far = ancestors;
        if (++folders_ < kMostFolders) Fill(path + "\\" + folder.name, path_so_far);
        return folder;
      }
      default: {
        // A folder link, up the path being walked or to any folder made so far.
        FakeEntry link = Folder(MakeName());
        std::vector<std::string> const& targets = input_.ConsumeBool() ? ancestors : made_;
        std::string const& target =
            targets[input_.ConsumeIntegralInRange<std::size_t>(0, targets.size() - 1)];
        FakeFileSystem::Get().AddLink(path + "\\" + link.name, target);
        return link;
      }
    }
  }

  FuzzedDataProvider& input_;
  int folders_ = 0;
  std::vector<std::string> made_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  OutputSink::DiscardFormattedOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  FakeFileSystem& fake = FakeFileSystem::Get();
  fake.Reset();
  fake.currentFolder = "C:\\w";
  DisplayOptions options;
  options.listFiles = input.ConsumeBool();
  options.asciiGlyphs = input.ConsumeBool();
  options.showTimes = input.ConsumeBool();
  static const char* const kTargets[] = {nullptr, "C:\\w", "c:/w/", "C:\\", "w\\..\\w"};
  const char* const target = kTargets[input.ConsumeIntegralInRange<std::size_t>(0, 4)];

  fake.AddFolder("C:\\", {Folder("w")});
  std::vector<std::string> ancestors{"C:\\"};
  TreeMaker(input).Fill("C:\\w", ancestors);

  sink.Start();
  RunListing(target, options);
  FUZZ_REQUIRE(fake.openListings == 0);
  return 0;
}
