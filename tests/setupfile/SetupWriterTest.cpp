#include "setupfile/SetupWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <windows.h>
// After windows.h:
#include <sddl.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "base/ByteReader.h"
#include "base/RuntimeError.h"
#include "setupfile/ExeSignatureBlobUtils.h"
#include "setupfile/PeChecksum.h"
#include "setupfile/PeHeaders.h"
#include "setupfile/SetupReader.h"
#include "setupfile/ZNTUtils.h"
#include "tests/setupfile/IndependentPeChecksum.h"
#include "tests/support/FakeFileSystems.h"
#include "tests/support/SetupImages.h"
#include "tests/support/TestFiles.h"

namespace kv {
namespace {

constexpr std::uint32_t kArea = 16384;
const std::string kNoArea =
    "Not compatible Setup file - setup file does not contain dedicated space for storing "
    "configuration";

// The mask length the next store will draw, without disturbing the sequence.
std::size_t NextMaskLength() {
  RandomGenerator copy = RandomGenerator::Process();
  return static_cast<std::size_t>(59 + copy.Below(117 - 59 + 1));
}

// The entries of the list at the start of an area: name -> raw stored value.
std::vector<std::pair<std::string, std::string>> ListEntries(const std::string& area,
                                                             std::size_t& list_size) {
  std::vector<std::pair<std::string, std::string>> entries;
  ByteReader reader(area);
  while (true) {
    std::uint32_t n = 0;
    std::string_view name;
    std::uint32_t v = 0;
    std::string_view value;
    if (!reader.ReadU32LE(n) || !reader.ReadBytes(n, name) || !reader.ReadU32LE(v) ||
        !reader.ReadBytes(v, value)) {
      ADD_FAILURE() << "list runs past the area";
      return entries;
    }
    if (n == 0)
      break;
    entries.emplace_back(std::string(name), std::string(value));
  }
  list_size = reader.Position();
  return entries;
}

// Names of unfinished copies left in a folder.
std::vector<std::string> LeftoverCopies(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".partial")
      names.push_back(test::PathToUtf8(entry.path().filename()));
  }
  return names;
}

class SetupWriterTest : public testing::Test {
 protected:
  void SetUp() override { RandomGenerator::Process().Reset(); }
  void TearDown() override { RandomGenerator::Process().Reset(); }

  std::string MakeSource(const std::string& name, std::uint32_t area = kArea, char fill = 'Z') {
    const std::string path = dir_.Path(name);
    test::WriteFileBytes(path, test::WithConfigArea(test::MinimalPe(), area, fill));
    return path;
  }

  test::TempDir dir_;
};

TEST_F(SetupWriterTest, RoundTripKeepsEveryByteOutsideTheArea) {
  struct Row {
    const char* target;
    std::string package;
    std::string answer;
    bool pe_source;  // else the same bytes without "MZ": repaired by no name but ".exe"
  };
  const Row rows[] = {
      {"out.exe", "Quillabrenthorst Configuration ver #2.00\r\nKVSERVERURL=x\r\n", "answers", true},
      {"OUT.EXE", std::string("pkg\0with zero", 13), "", true},
      {"out.msi", "package", std::string("\0\xFF", 2), true},
      {"out.exe.bak", "p", "a", true},
      {"out", "", "", true},
      {"plain.msi", "package", "answers", false},
      {"plain", "p", "", false},
  };
  const std::string pe_source = MakeSource("src.exe");
  std::string plain_bytes = test::ReadFileBytes(pe_source);
  plain_bytes[0] = 'X';
  const std::string plain_source = dir_.Path("src.bin");
  test::WriteFileBytes(plain_source, plain_bytes);
  const std::size_t area_at = test::ConfigAreaOffset(test::MinimalPe(), kArea);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.target);
    const std::string source = row.pe_source ? pe_source : plain_source;
    const std::string original = test::ReadFileBytes(source);
    const bool checksum_step = row.pe_source;
    const std::size_t mask_length = NextMaskLength();
    const std::string target = dir_.Path(row.target);
    std::string error = "stale";
    ASSERT_TRUE(StoreConfigToSetup(source, target, row.package, row.answer, error)) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(test::ReadFileBytes(source), original);

    const std::string written = test::ReadFileBytes(target);
    ASSERT_EQ(written.size(), original.size());
    std::size_t list_size = 0;
    const auto entries = ListEntries(written.substr(area_at, kArea), list_size);
    const std::size_t n = row.package.size() + (row.package.empty() ? 0 : 8);
    const std::size_t m = row.answer.size() + 8;
    EXPECT_EQ(list_size,
              row.answer.empty() ? 44 - 8 + mask_length + n : 71 - 16 + mask_length + n + m);
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[0].first, "Mask");
    EXPECT_EQ(entries[0].second.size(), mask_length);
    EXPECT_EQ(entries[1].first, "KVConfig");
    EXPECT_EQ(entries.size(), row.answer.empty() ? 2u : 3u);

    // Outside the list nothing changed but, for an executable target, the checksum field.
    const std::size_t field = 0x80 + kPeChecksumOffset;
    for (std::size_t i = 0; i < written.size(); ++i) {
      if (i >= area_at && i < area_at + list_size)
        continue;
      if (checksum_step && i >= field && i < field + 4)
        continue;
      ASSERT_EQ(written[i], original[i]) << "byte " << i;
    }
    auto file = Files().Open(target, OpenMode::kRead);
    const PeChecksumPair pair = ComputePeChecksumPair(*file);
    EXPECT_EQ(pair.stored == pair.computed, checksum_step);

    std::string value = "unchanged";
    EXPECT_TRUE(ReadBlobFromSetup(target, "KVConfig", value));
    EXPECT_EQ(value, row.package);
    value = "unchanged";
    EXPECT_EQ(ReadBlobFromSetup(target, "AutoInstall", value), !row.answer.empty());
    EXPECT_EQ(value, row.answer.empty() ? "unchanged" : row.answer);
  }
}

TEST_F(SetupWriterTest, AreaExactlyAsLargeAsTheListFitsAndOneByteLessFails) {
  const std::string package(1000, 'p');
  const std::string answer(500, 'a');
  const std::uint32_t list_size = static_cast<std::uint32_t>(71 + NextMaskLength() + 1000 + 500);
  const std::string fits = MakeSource("fits.exe", list_size);
  const std::string small = MakeSource("small.exe", list_size - 1);
  std::string error;
  ASSERT_TRUE(StoreConfigToSetup(fits, dir_.Path("a.msi"), package, answer, error)) << error;

  RandomGenerator::Process().Reset();
  const std::string target = dir_.Path("b.msi");
  EXPECT_FALSE(StoreConfigToSetup(small, target, package, answer, error));
  EXPECT_EQ(error, "Configuration data size > " + FormatByteSize(list_size - 1));
  EXPECT_FALSE(test::FileExists(target));

  const std::string kib16 = MakeSource("16k.exe", 16384);
  EXPECT_FALSE(StoreConfigToSetup(kib16, target, std::string(20000, 'x'), "", error));
  EXPECT_EQ(error, "Configuration data size > 16 kB");
  const std::string odd = MakeSource("10000.exe", 10000);
  EXPECT_FALSE(StoreConfigToSetup(odd, target, std::string(20000, 'x'), "", error));
  EXPECT_EQ(error, "Configuration data size > 10000 B");
}

TEST_F(SetupWriterTest, FirstStoreOfARunUsesTheSameMaskAndTheSecondAnother) {
  const std::string source = MakeSource("src.msi");
  auto mask_of = [&](const std::string& target) {
    std::size_t list_size = 0;
    auto file = Files().Open(target, OpenMode::kRead);
    std::string area;
    EXPECT_TRUE(ReadConfigArea(*file, area));
    return ListEntries(area, list_size).at(0).second;
  };
  std::string error;
  ASSERT_TRUE(StoreConfigToSetup(source, dir_.Path("1.msi"), "pkg", "", error));
  ASSERT_TRUE(StoreConfigToSetup(source, dir_.Path("2.msi"), "pkg", "", error));
  RandomGenerator::Process().Reset();  // a new run
  ASSERT_TRUE(StoreConfigToSetup(source, dir_.Path("3.msi"), "pkg", "", error));
  EXPECT_EQ(mask_of(dir_.Path("1.msi")), mask_of(dir_.Path("3.msi")));
  EXPECT_NE(mask_of(dir_.Path("1.msi")), mask_of(dir_.Path("2.msi")));
  EXPECT_EQ(mask_of(dir_.Path("1.msi")).size(), 59u);
}

// The stores of one run read the source once: each output is byte for byte what a run of its own
// writes (its checksum from the sum of the first store), and a source that changed between two
// stores fails the later ones with the message of a change during the copy.
TEST_F(SetupWriterTest, StoresOfOneRunShareTheSourceUntilItChanges) {
  const std::string source = MakeSource("src.exe");
  struct Row {
    const char* target;
    std::string package;
    std::string answer;
  };
  const Row rows[] = {{"a.exe", "first", ""},
                      {"b.exe", std::string(5000, 'p'), "answer"},
                      {"c.msi", "third", std::string(3, '\xFF')}};
  SetupSourceCache cache;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.target);
    std::string error;
    std::string warning;
    RandomGenerator::Process().Reset();
    ASSERT_TRUE(StoreConfigToSetup(cache, source, dir_.Path(row.target), row.package, row.answer,
                                   error, warning))
        << error;
    RandomGenerator::Process().Reset();
    const std::string alone = dir_.Path(std::string("alone-") + row.target);
    ASSERT_TRUE(StoreConfigToSetup(source, alone, row.package, row.answer, error)) << error;
    EXPECT_EQ(test::ReadFileBytes(dir_.Path(row.target)), test::ReadFileBytes(alone));
    auto written = Files().Open(alone, OpenMode::kRead);
    const PeChecksumPair pair = ComputePeChecksumPair(*written);
    EXPECT_EQ(pair.stored, pair.computed);
  }
#ifndef _WIN32  // on Windows the open source denies writers for the whole run
  const std::string before = test::ReadFileBytes(dir_.Path("a.exe"));
  test::WriteFileBytes(source, test::ReadFileBytes(source) + "x");
  std::string error;
  std::string warning;
  EXPECT_FALSE(StoreConfigToSetup(cache, source, dir_.Path("a.exe"), "late", "", error, warning));
  EXPECT_EQ(error, "Source setup file \"" + source + "\" changed while it was being copied");
  EXPECT_EQ(test::ReadFileBytes(dir_.Path("a.exe")), before);
  EXPECT_FALSE(StoreConfigToSetup(cache, source, dir_.Path("d.exe"), "late", "", error, warning));
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("d.exe")));
#endif
}

TEST_F(SetupWriterTest, OverwritesAnEarlierLongerList) {
  const std::string source = MakeSource("src.msi");
  std::string error;
  ASSERT_TRUE(StoreConfigToSetup(source, dir_.Path("first.msi"), std::string(3000, 'L'),
                                 std::string(3000, 'A'), error));
  ASSERT_TRUE(
      StoreConfigToSetup(dir_.Path("first.msi"), dir_.Path("second.msi"), "short", "", error));
  std::string value;
  EXPECT_TRUE(ReadBlobFromSetup(dir_.Path("second.msi"), "KVConfig", value));
  EXPECT_EQ(value, "short");
  EXPECT_FALSE(ReadBlobFromSetup(dir_.Path("second.msi"), "AutoInstall", value));
}

TEST_F(SetupWriterTest, FailuresLeaveAnExistingTargetAsItWas) {
  const std::string good = MakeSource("good.exe");
  const std::string no_area = dir_.Path("noarea.exe");
  test::WriteFileBytes(no_area, test::MinimalPe() + std::string(5000, 'x'));
  const std::string not_pe = dir_.Path("notpe.bin");
  test::WriteFileBytes(not_pe, test::WithConfigArea(std::string(2000, 'n'), 4096));
  struct Row {
    const char* name;
    std::string source;
    std::string target;
    std::string error_start;
  };
  const Row rows[] = {
      {"no area", no_area, dir_.Path("t1.exe"), kNoArea},
      {"list too large", MakeSource("tiny.exe", 50), dir_.Path("t2.exe"),
       "Configuration data size > 50 B"},
      {"target cannot be created", good, dir_.Path("missing-folder/t3.exe"),
       "Cannot create file \""},
      {"checksum repair fails", not_pe, dir_.Path("t4.exe"), "Can't update Setup EXE checksum"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const bool can_exist = row.target.find("missing-folder") == std::string::npos;
    if (can_exist)
      test::WriteFileBytes(row.target, "existing file at the target path");
    const std::string before = test::ReadFileBytes(row.source);
    std::string error;
    EXPECT_FALSE(StoreConfigToSetup(row.source, row.target, "package", "answer", error));
    EXPECT_EQ(error.rfind(row.error_start, 0), 0u) << error;
    if (can_exist) {
      EXPECT_EQ(test::ReadFileBytes(row.target), "existing file at the target path");
    }
    EXPECT_EQ(test::ReadFileBytes(row.source), before);
    EXPECT_EQ(LeftoverCopies(dir_.Root()), std::vector<std::string>());
  }
  // A missing source: the runtime's message; nothing is created.
  std::string error;
  EXPECT_FALSE(StoreConfigToSetup(dir_.Path("nope.exe"), dir_.Path("t5.exe"), "p", "", error));
  EXPECT_EQ(error.rfind("Cannot open file \"", 0), 0u) << error;
  EXPECT_FALSE(test::FileExists(dir_.Path("t5.exe")));
}

// A source of several copy steps: progress from 0 and after each, rising to the whole source
// (figures told again while a step is busy recorded once); a store abandoned at its second step
// leaves the earlier target and no unfinished copy, and the next one completes as usual.
TEST_F(SetupWriterTest, ReportsProgressAndCanBeAbandoned) {
  const std::string source = dir_.Path("large.exe");
  test::WriteFileBytes(source,
                       test::WithConfigArea(test::MinimalPe() + std::string(20 << 20, 'b'), kArea));
  const auto size = static_cast<std::int64_t>(test::ReadFileBytes(source).size());
  const std::string target = dir_.Path("out.exe");
  test::WriteFileBytes(target, "earlier");
  std::vector<std::int64_t> steps;
  std::string error;
  std::string warning;
  const auto record = [&](std::int64_t done) {
    if (steps.empty() || steps.back() != done)
      steps.push_back(done);
  };
  const auto abandon_second = [&](std::int64_t done, std::int64_t total) {
    EXPECT_EQ(total, size);
    record(done);
    return steps.size() < 3;
  };
  EXPECT_FALSE(StoreConfigToSetup(source, target, "package", "", error, warning, abandon_second));
  EXPECT_EQ(error, "The store was cancelled");
  EXPECT_EQ(steps, (std::vector<std::int64_t>{0, 8 << 20, 16 << 20}));
  EXPECT_EQ(test::ReadFileBytes(target), "earlier");
  EXPECT_EQ(LeftoverCopies(dir_.Root()), std::vector<std::string>());

  steps.clear();
  const auto follow = [&](std::int64_t done, std::int64_t) {
    record(done);
    return true;
  };
  EXPECT_TRUE(StoreConfigToSetup(source, target, "package", "", error, warning, follow)) << error;
  EXPECT_EQ(steps, (std::vector<std::int64_t>{0, 8 << 20, 16 << 20, size}));
  std::string package;
  EXPECT_TRUE(ReadBlobFromSetup(target, "KVConfig", package));
  EXPECT_EQ(package, "package");
}

// A slow phase (a copy step from a slow source, the flush of the copy) keeps the caller hearing
// of the store at short intervals, on its own thread, with figures that never fall and end at the
// size; a store abandoned during the flush, or whose callback throws then, is not put in place.
TEST_F(SetupWriterTest, TellsProgressWhileAPhaseIsSlow) {
  const std::string source = dir_.Path("slow.exe");
  test::WriteFileBytes(source,
                       test::WithConfigArea(test::MinimalPe() + std::string(400000, 's'), kArea));
  const auto size = static_cast<std::int64_t>(test::ReadFileBytes(source).size());
  enum class AtEnd { kGoOn, kAbandon, kThrow };
  struct Row {
    const char* name;
    test::Faults faults;
    AtEnd at_end;
    std::string error;
  };
  const Row rows[] = {
      {"slow source", {.read_delay_ms = 40}, AtEnd::kGoOn, ""},
      {"slow flush", {.flush_delay_ms = 600}, AtEnd::kGoOn, ""},
      {"closed during the flush",
       {.flush_delay_ms = 600},
       AtEnd::kAbandon,
       "The store was cancelled"},
      {"failure during the flush", {.flush_delay_ms = 600}, AtEnd::kThrow, "no window"},
  };
  const std::thread::id caller = std::this_thread::get_id();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string target = dir_.Path("slow-out.exe");
    test::WriteFileBytes(target, "earlier");
    test::FaultyFileSystem files(row.faults);
    ScopedFileSystem scope(files);
    using Clock = std::chrono::steady_clock;
    std::vector<std::int64_t> figures;
    Clock::duration longest{};
    Clock::time_point last;
    const auto tell = [&](std::int64_t done, std::int64_t total) {
      EXPECT_EQ(std::this_thread::get_id(), caller);
      EXPECT_EQ(total, size);
      const Clock::time_point now = Clock::now();
      if (!figures.empty())
        longest = std::max(longest, now - last);
      last = now;
      figures.push_back(done);
      // Told again at the end: the flush is under way.
      const bool at_end = figures.size() > 2 && done == size && figures.end()[-2] == size;
      if (at_end && row.at_end == AtEnd::kThrow)
        throw std::runtime_error("no window");
      return !(at_end && row.at_end == AtEnd::kAbandon);
    };
    std::string error;
    std::string warning;
    const bool stored = StoreConfigToSetup(source, target, "package", "", error, warning, tell);
    EXPECT_EQ(stored, row.at_end == AtEnd::kGoOn) << error;
    EXPECT_EQ(error, row.error);
    EXPECT_LT(longest, std::chrono::milliseconds(200));
    ASSERT_GE(figures.size(), 3u);
    EXPECT_EQ(figures.front(), 0);
    EXPECT_EQ(figures.back(), size);
    EXPECT_TRUE(std::is_sorted(figures.begin(), figures.end()));
    std::string package;
    EXPECT_EQ(ReadBlobFromSetup(target, "KVConfig", package), stored);
    EXPECT_EQ(LeftoverCopies(dir_.Root()), std::vector<std::string>());
  }
}

TEST_F(SetupWriterTest, RefusesEverySpellingOfTheSourceAsTarget) {
  const std::string source = MakeSource("setup.exe");
  const std::string original = test::ReadFileBytes(source);
  std::vector<std::pair<std::string, std::string>> spellings = {
      {"same path", source},
      {"dot segment", dir_.Path("./setup.exe")},
      {"dot-dot segment", dir_.Path("sub/../setup.exe")},
  };
  std::filesystem::create_directories(dir_.Root() / "sub");
  std::error_code ec;
  std::filesystem::create_symlink(test::Utf8ToPath(source), dir_.Root() / "link.exe", ec);
  if (!ec)
    spellings.emplace_back("symbolic link", dir_.Path("link.exe"));
  std::filesystem::create_hard_link(test::Utf8ToPath(source), dir_.Root() / "hard.exe", ec);
  if (!ec)
    spellings.emplace_back("hard link", dir_.Path("hard.exe"));
  const std::string upper = dir_.Path("SETUP.EXE");
  if (test::FileExists(upper))
    spellings.emplace_back("letter case", upper);  // case-blind systems
  const std::filesystem::path relative =
      std::filesystem::relative(test::Utf8ToPath(source), std::filesystem::current_path(), ec);
  if (!ec && !relative.empty())
    spellings.emplace_back("relative", test::PathToUtf8(relative));

  for (const auto& [name, target] : spellings) {
    SCOPED_TRACE(name);
    std::string error;
    EXPECT_FALSE(StoreConfigToSetup(source, target, "package", "", error));
    EXPECT_EQ(error, "Output setup file is the same file as the source setup file");
    ASSERT_TRUE(test::FileExists(source));
    EXPECT_EQ(test::ReadFileBytes(source), original);
  }
}

TEST_F(SetupWriterTest, OutputGuardNamesTheInputTheOutputWouldReplace) {
  const std::string source = MakeSource("setup.exe");
  test::WriteFileBytes(dir_.Path("K-VConfig.bin"), "package");
  test::WriteFileBytes(dir_.Path("AutoInstall.srg"), "answers");
  std::filesystem::create_directories(dir_.Root() / "sub");
  const std::vector<TRunInputFile> inputs = {{kSourceSetupFileRole, source},
                                             {kPackageFileRole, dir_.Path("K-VConfig.bin")},
                                             {kAnswerFileRole, dir_.Path("sub/../AutoInstall.srg")},
                                             {"unused input", ""}};
  struct Row {
    std::string output;
    std::string error;  // empty: accepted
  };
  std::vector<Row> rows = {
      {source, "Output setup file is the same file as the source setup file"},
      {dir_.Path("./K-VConfig.bin"),
       "Output setup file is the same file as the source K-VConfig.bin file"},
      {dir_.Path("AutoInstall.srg"),
       "Output setup file is the same file as the source AutoInstall.srg file"},
      {dir_.Path("new.exe"), ""},
      {"", ""},
  };
  std::error_code ec;
  std::filesystem::create_symlink(test::Utf8ToPath(dir_.Path("AutoInstall.srg")),
                                  dir_.Root() / "link.exe", ec);
  if (!ec) {
    rows.push_back({dir_.Path("link.exe"),
                    "Output setup file is the same file as the source AutoInstall.srg file"});
  }
  std::filesystem::create_hard_link(test::Utf8ToPath(dir_.Path("K-VConfig.bin")),
                                    dir_.Root() / "hard.exe", ec);
  if (!ec) {
    rows.push_back({dir_.Path("hard.exe"),
                    "Output setup file is the same file as the source K-VConfig.bin file"});
  }
  if (test::FileExists(dir_.Path("k-vconfig.BIN"))) {  // case-blind systems
    rows.push_back({dir_.Path("k-vconfig.BIN"),
                    "Output setup file is the same file as the source K-VConfig.bin file"});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.output);
    std::string error = "stale";
    EXPECT_EQ(CheckOutputIsNoInput(row.output, inputs, error), row.error.empty());
    EXPECT_EQ(error, row.error);
  }
  // Nothing was created or changed.
  EXPECT_FALSE(test::FileExists(dir_.Path("new.exe")));
  EXPECT_EQ(test::ReadFileBytes(dir_.Path("AutoInstall.srg")), "answers");
}

TEST_F(SetupWriterTest, RefusesTargetsThatAreNotRegularFilesAndNeverDeletesThem) {
  const std::string source = MakeSource("setup.msi");
  std::vector<std::string> targets = {dir_.Path("folder.msi")};
  std::filesystem::create_directory(test::Utf8ToPath(targets[0]));
#ifndef _WIN32
  targets.push_back(dir_.Path("pipe.msi"));
  ASSERT_EQ(::mkfifo(targets.back().c_str(), 0600), 0);
#endif
  for (const std::string& target : targets) {
    SCOPED_TRACE(target);
    std::string error;
    EXPECT_FALSE(StoreConfigToSetup(source, target, "package", "", error));
    EXPECT_EQ(error, "Output setup file \"" + target + "\" is not a regular file");
    EXPECT_TRUE(test::FileExists(target));
  }
}

#ifndef _WIN32
TEST_F(SetupWriterTest, ReplacingAnOutputKeepsItsLinkAndPermissionsAndRespectsReadOnly) {
  const std::string source = MakeSource("setup.msi");
  std::filesystem::create_directories(dir_.Root() / "real");
  const std::string real = dir_.Path("real/out.msi");
  test::WriteFileBytes(real, "old");
  ASSERT_EQ(::chmod(real.c_str(), 0750), 0);
  std::filesystem::create_symlink(test::Utf8ToPath(real), dir_.Root() / "link.msi");
  std::string error;
  ASSERT_TRUE(StoreConfigToSetup(source, dir_.Path("link.msi"), "package", "", error)) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(dir_.Root() / "link.msi"));
  std::string value;
  EXPECT_TRUE(ReadBlobFromSetup(real, "KVConfig", value));
  EXPECT_EQ(value, "package");
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  EXPECT_EQ(LeftoverCopies(dir_.Root() / "real"), std::vector<std::string>());

  if (::geteuid() == 0)
    return;  // the superuser writes any file
  ASSERT_EQ(::chmod(real.c_str(), 0444), 0);
  const std::string before = test::ReadFileBytes(real);
  EXPECT_FALSE(StoreConfigToSetup(source, real, "other", "", error));
  EXPECT_EQ(error.rfind("Cannot create file \"" + real + "\"", 0), 0u) << error;
  EXPECT_EQ(test::ReadFileBytes(real), before);
}
#endif

#ifdef _WIN32
// The access list of a file in the system's text form, with the flag saying it is protected
// from inheritance; empty when it cannot be read.
std::wstring AccessList(const std::string& path) {
  const std::wstring wide = test::Utf8ToPath(path).wstring();
  DWORD size = 0;
  ::GetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  std::string descriptor(size, '\0');
  wchar_t* text = nullptr;
  if (size == 0 ||
      !::GetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size,
                          &size) ||
      !::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return {};
  }
  std::wstring result = text;
  ::LocalFree(text);
  return result;
}

// The account the test runs as, in the system's text form.
std::wstring CallerSid() {
  HANDLE token = nullptr;
  std::string user(256, '\0');
  DWORD size = 0;
  wchar_t* text = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
    return {};
  const bool ok =
      ::GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()),
                            &size) &&
      ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text);
  ::CloseHandle(token);
  if (!ok)
    return {};
  std::wstring result = text;
  ::LocalFree(text);
  return result;
}

TEST_F(SetupWriterTest, LongOutputPathsAndAnOutputsAccessListAreKept) {
  const std::string source = MakeSource("setup.msi");
  // (length of the output's full path, whether an output with its own access list exists); the
  // output's name is short, so that the copy's name beside it is the longer one.
  const std::pair<std::size_t, bool> rows[] = {{240, false}, {250, true}};
  for (const auto& [length, existing] : rows) {
    SCOPED_TRACE(length);
    const std::string name = "\\out.msi";
    const std::size_t base = dir_.Path("").size();
    const std::string folder = dir_.Path(std::string(length - base - name.size(), 'f'));
    const std::string output = folder + name;
    ASSERT_EQ(output.size(), length);
    std::filesystem::create_directory(test::Utf8ToPath(folder));
    std::wstring access_list;
    if (existing) {
      test::WriteFileBytes(output, "old");
      // Only the system and the caller, not protected from the folder's list (every system
      // keeps that much, also where access lists are held as permission bits).
      const std::wstring wanted = L"D:P(A;;FA;;;SY)(A;;FA;;;" + CallerSid() + L")";
      PSECURITY_DESCRIPTOR descriptor = nullptr;
      ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          wanted.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
      const BOOL set = ::SetFileSecurityW(test::Utf8ToPath(output).wstring().c_str(),
                                          DACL_SECURITY_INFORMATION, descriptor);
      ::LocalFree(descriptor);
      ASSERT_TRUE(set) << ::GetLastError();
      access_list = AccessList(output);
      ASSERT_EQ(access_list.find(L";;;WD)"), std::wstring::npos);
    }
    std::string error;
    ASSERT_TRUE(StoreConfigToSetup(source, output, "package", "", error)) << error;
    std::string value;
    EXPECT_TRUE(ReadBlobFromSetup(output, "KVConfig", value));
    EXPECT_EQ(value, "package");
    if (existing) {
      EXPECT_TRUE(AccessList(output) == access_list);
    }
    EXPECT_EQ(LeftoverCopies(test::Utf8ToPath(folder)), std::vector<std::string>());
  }
}
#endif

TEST_F(SetupWriterTest, InjectedFaultsLeaveTargetAndSourceAsTheyWere) {
  // 200 KB of source: several copy blocks of 61,440 bytes, then the list write.
  const std::string source = dir_.Path("big.exe");
  test::WriteFileBytes(source,
                       test::WithConfigArea(test::MinimalPe() + std::string(200000, 's'), 4096));
  const std::string original = test::ReadFileBytes(source);
  // The area search reads the whole of a file this small; the copy reads it again.
  const std::int64_t size = static_cast<std::int64_t>(original.size());
  struct Row {
    const char* name;
    test::Faults faults;
    std::string error_start;
  };
  const Row rows[] = {
      {"copy cannot be flushed to the disk", {.refuse_flush = true}, "Stream write error"},
      {"disk full at the first block", {.failing_write = 1}, "Stream write error"},
      {"disk full in the middle of the copy", {.failing_write = 2}, "Stream write error"},
      {"disk full during the list write", {.failing_write = 5}, "Stream write error"},
      {"list written wrongly", {.garbled_write = 5}, "The new setup file \""},
      {"read error in the source while copying", {.read_limit = size + 70000}, "Stream read error"},
      {"source gone after locating the area", {.read_limit = size}, "Stream read error"},
      {"output folder read-only", {.refuse_create = true}, "Cannot create file \""},
      {"output cannot be replaced", {.refuse_replace = true}, "Cannot create file \""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const bool existing : {false, true}) {
      test::FaultyFileSystem files(row.faults);
      ScopedFileSystem scope(files);
      const std::string target = dir_.Path(existing ? "old.exe" : "out.exe");
      if (existing)
        test::WriteFileBytes(target, "the output of an earlier run");
      std::string error;
      EXPECT_FALSE(StoreConfigToSetup(source, target, "package", "answer", error));
      // A refused creation or rename names the output, not the unfinished copy.
      const std::string expected =
          row.error_start.back() == '"' ? row.error_start + target + "\"" : row.error_start;
      EXPECT_EQ(error.rfind(expected, 0), 0u) << error;
      EXPECT_EQ(test::FileExists(target), existing);
      if (existing) {
        EXPECT_EQ(test::ReadFileBytes(target), "the output of an earlier run");
      }
      EXPECT_EQ(test::ReadFileBytes(source), original);
      EXPECT_EQ(LeftoverCopies(dir_.Root()), std::vector<std::string>());
    }
  }
}

// One WIN_CERTIFICATE entry of SignedPe: a SEQUENCE, then after (inside the entry's length), then
// tail (outside it, up to the entry's 8-byte boundary).
struct CertEntry {
  std::string after;
  std::string tail;
};

// MinimalPe with 16 data directories and a certificate table at its end, one entry per
// entries; the first entry's SEQUENCE holds a configuration area of kArea bytes at area_at.
// padding gets, per entry, the range of its after and tail bytes.
std::string SignedPe(const std::vector<CertEntry>& entries, std::size_t& area_at,
                     std::vector<ByteRange>& padding) {
  const auto put32 = [](std::string& image, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
      image[at + i] = static_cast<char>(value >> (8 * i));
  };
  const auto long_length = [](std::size_t n) {  // n in 256..65535: minimal as two bytes
    return std::string{'\x82', static_cast<char>(n >> 8), static_cast<char>(n & 0xFF)};
  };
  std::string image = test::MinimalPe();
  image[0x80 + 20] = static_cast<char>(240);  // SizeOfOptionalHeader
  put32(image, 0x98 + 108, 16);               // NumberOfRvaAndSizes
  const std::size_t table = image.size();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const CertEntry& entry = entries[i];
    std::string element;
    // The content grows until the entry ends on its boundary with exactly the tail given.
    for (std::size_t n = 300;
         element.empty() || (8 + element.size() + entry.after.size() + entry.tail.size()) % 8 != 0;
         ++n) {
      const std::string content = i == 0 ? HexToBytes(kConfigAreaMarkerHex) + long_length(kArea) +
                                               std::string(kArea, 'Z') + std::string(n - 300, 'q')
                                         : std::string(n, 'q');
      element.assign(1, '\x30');
      element += long_length(content.size());
      element += content;
    }
    const std::size_t at = image.size();
    if (i == 0)
      area_at = at + 8 + 4 + kConfigAreaMarkerLength + 3;
    image += std::string(8, '\0') + element + entry.after + entry.tail;
    put32(image, at, static_cast<std::uint32_t>(8 + element.size() + entry.after.size()));
    put32(image, at + 4, 0x00020200);  // revision 2, PKCS#7 SignedData
    padding.push_back({std::int64_t(at + 8 + element.size()),
                       std::int64_t(entry.after.size() + entry.tail.size())});
  }
  put32(image, 0x98 + 112 + 4 * 8, static_cast<std::uint32_t>(table));
  put32(image, 0x98 + 112 + 4 * 8 + 4, static_cast<std::uint32_t>(image.size() - table));
  return image;
}

// The bytes of a signed file that its Authenticode digest covers, and whether each certificate
// entry passes the strict padding check.
std::string DigestedBytes(const std::string& path, std::vector<bool>& strict) {
  auto file = Files().Open(path, OpenMode::kRead);
  TPeHeaders headers;
  PeSignedLayout layout;
  EXPECT_EQ(ReadPeHeaders(*file, headers), PeHeaderStatus::kFound);
  EXPECT_EQ(ReadPeSignedLayout(*file, headers, layout), PeSignatureStatus::kSigned)
      << layout.problem;
  const std::string bytes = test::ReadFileBytes(path);
  std::string digested;
  for (const ByteRange& range : layout.hashed)
    digested += bytes.substr(range.offset, range.size);
  strict.clear();
  for (const PeCertificateEntry& entry : layout.entries)
    strict.push_back(entry.strict_padding);
  return digested;
}

TEST_F(SetupWriterTest, CopiesPassTheStrictPaddingCheckWhereZeroingCanMendIt) {
  const std::string zeros(3, '\0');
  struct Row {
    const char* name;
    std::vector<CertEntry> entries;
    std::vector<bool> source_strict;
    std::vector<bool> copy_strict;  // an entry that passes in the copy has zero padding there
  };
  const Row rows[] = {
      {"ordinary", {{"", zeros}}, {true}, {true}},
      {"non-zero bytes up to the boundary", {{"", "\xAA\xBB\xCC\xDD\xEE"}}, {false}, {true}},
      {"junk inside and after two entries' lengths",
       {{"\x01", std::string("\0\x02", 2)}, {"\x7F\x7F", "\xFF"}},
       {false, false},
       {true, true}},
      {"8 bytes after the SignedData", {{std::string(8, '\xAA'), ""}}, {false}, {false}},
      {"one entry mended, the other not",
       {{std::string(9, '\x01'), std::string(7, '\0')}, {"", "\x05"}},
       {false, false},
       {false, true}},
  };
  const std::string kWarning = "fails Windows' strict certificate padding check";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::size_t area_at = 0;
    std::vector<ByteRange> padding;
    const std::string source = dir_.Path("signed.exe");
    const std::string original = SignedPe(row.entries, area_at, padding);
    test::WriteFileBytes(source, original);
    std::vector<bool> strict;
    const std::string digested = DigestedBytes(source, strict);
    ASSERT_EQ(strict, row.source_strict);
    // What every copy holds outside the area and the checksum field.
    std::string expected = original;
    for (std::size_t i = 0; i < padding.size(); ++i) {
      if (row.copy_strict[i])
        expected.replace(padding[i].offset, padding[i].size, std::string(padding[i].size, '\0'));
    }
    // Two outputs of one run share what the source's padding needs.
    SetupSourceCache cache;
    for (const char* target_name : {"a.exe", "b.msi"}) {
      SCOPED_TRACE(target_name);
      const std::string target = dir_.Path(target_name);
      std::string error;
      std::string warning;
      ASSERT_TRUE(StoreConfigToSetup(cache, source, target, "package", "", error, warning))
          << error;
      const bool all_pass =
          std::find(row.copy_strict.begin(), row.copy_strict.end(), false) == row.copy_strict.end();
      EXPECT_EQ(warning.find(kWarning) != std::string::npos, !all_pass) << warning;
      EXPECT_EQ(DigestedBytes(target, strict), digested);
      EXPECT_EQ(strict, row.copy_strict);
      std::uint32_t stored = 0;
      std::uint32_t computed = 1;
      ASSERT_TRUE(test::IndependentPeChecksum(target, stored, computed));
      EXPECT_EQ(stored, computed);
      const std::string written = test::ReadFileBytes(target);
      ASSERT_EQ(written.size(), expected.size());
      const std::size_t field = 0x80 + kPeChecksumOffset;
      for (std::size_t i = 0; i < written.size(); ++i) {
        if ((i < area_at || i >= area_at + kArea) && (i < field || i >= field + 4)) {
          ASSERT_EQ(written[i], expected[i]) << "byte " << i;
        }
      }
      std::string value;
      EXPECT_TRUE(ReadBlobFromSetup(target, "KVConfig", value));
      EXPECT_EQ(value, "package");
    }
    EXPECT_EQ(test::ReadFileBytes(source), original);
  }
}

}  // namespace
}  // namespace kv
