#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <regex>

#include "log/log_file.h"
#include "tests/harness.h"

namespace tw::test {
namespace {

const std::string kBannerLine = std::string(kLogBanner) + "\r\n";

// Every field is read up to the end, and reading past it fails, as it does
// at once where there are only spaces.
TEST(FieldReader, SplitsAtCommasAndLineEndsAndHonoursQuotes) {
  struct Case { const char* content; std::vector<std::string> fields; };
  const std::vector<Case> cases = {
      {"57 cm 12-08-2026 17:04:09\r\n", {"57 cm 12-08-2026 17:04:09"}}, {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}}, {"a\rb", {"a", "b"}},
      {"   leading spaces  \r\n", {"leading spaces  "}}, {"one,two\r\n", {"one", "two"}},
      {"\"quoted, with comma\" tail,next\r\n", {"quoted, with comma", "next"}},
      {"\"unterminated", {"unterminated"}}, {"\r\n\r\nx", {"", "", "x"}},
      {"last line without end", {"last line without end"}}, {",", {""}}, {"", {}},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.content);
    FieldReader reader(in);
    std::vector<std::string> read;
    while (!reader.atEnd()) read.push_back(reader.readField());
    EXPECT_EQ(read, c.fields) << '"' << c.content << '"';
    EXPECT_THROW(reader.readField(), LogReadError) << '"' << c.content << '"';
  }
  std::istringstream spaces("   ");
  EXPECT_THROW(FieldReader(spaces).readField(), LogReadError) << "only spaces";
}

TEST(RecordLine, FigureFirstThenSingleSpacedFieldsAndCrLf) {
  EXPECT_EQ(recordLine("57", "cm", "12-08-2026", "17:04:09"), "57 cm 12-08-2026 17:04:09\r\n");
  EXPECT_EQ(recordLine("1.23", "mts", "01-02-2027", "00:00:00"), "1.23 mts 01-02-2027 00:00:00\r\n");
}

std::string report(const std::string& log) {
  std::istringstream in(log);
  return reportText(reportDistances(sumLoggedDistances(in)));
}

TEST(Report, AddsExactlyAndConvertsWithTheRealFoot) {
  struct Case { const char* records; int64_t metres, feet; };
  const Case cases[] = {
      {"", 0, 0}, {"57 cm 12-08-2026 17:04:09\r\n1.23 mts 12-08-2026 17:05:00\r\n", 2, 6},
      {"2.5 mts a\r\n2.5 mts b\r\n", 5, 16}, {"12 mts x\r\n", 12, 39}, {"100 mts x\r\n", 100, 328},
      {"50 cm x\r\n", 0, 2},
      {"57cm typed by hand\r\n", 1, 2},  // "57cm" reads as 57
      {"57cm\r\n", 0, 0},
      {"3 cmts\r\n", 3, 10},  // both tests hold: 0.03 + 3
      {"-150 cm x\r\n", -2, -5}, {"1e2 mts x\r\n", 100, 328}, {"\"7 mts\", more\r\n", 7, 23},
      {"1,5 mts\r\n", 5, 16},
      // 3.4999999999999996 in binary: an exact 3.50 makes 4.
      {"1.13 mts a\r\n1.14 mts b\r\n1.23 mts c\r\n", 4, 11},
      {"41.91 mts x\r\n", 42, 138},  // 137.5 ft exactly
      {"4191 cm x\r\n", 42, 138}, {"0.1 mts a\r\n0.2 mts b\r\n0.2 mts c\r\n", 0, 2},
      {"150 cm a\r\n1 mts b\r\n", 2, 8},  // 2.5 to even
      {"3.5 mts a\r\n", 4, 11}, {"-3.5 mts a\r\n", -4, -11},
      {"0.1524 mts x\r\n", 0, 0},  // half a foot, to even
      {"0.4572 mts x\r\n", 0, 2},  // one and a half feet
      {"2.4999999999 mts x\r\n", 2, 8},  // nine decimals count
      {"25e-1 mts x\r\n", 2, 8}, {"0.00000000000000000000000000001e30 mts x\r\n", 10, 33},
      {"654000000 mts x\r\n", 654000000, 2145669291},
      {"2000000000 mts a\r\n-2000000000 mts b\r\n7 mts c\r\n", 7, 23},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(report(kBannerLine + c.records), "On file: " + std::to_string(c.metres) + " mts  = " +
                                                   std::to_string(c.feet) + " ft")
        << c.records;
  }
}

TEST(Report, ExactBillionthsOfANumber) {
  struct Case { const char* text; int64_t billionths; };
  for (Case c : {Case{"0", 0}, {"57", 57'000'000'000}, {"1.23", 1'230'000'000}, {"-1.5", -1'500'000'000},
                 {"+2", 2'000'000'000}, {"1e2", 100'000'000'000}, {"25E-1", 2'500'000'000},
                 {"1.", 1'000'000'000}, {".5", 0}, {"abc", 0}, {"", 0}, {"1e", 1'000'000'000},
                 {"0.123456789", 123'456'789}, {"0.1234567899", 123'456'789}, {"1e-10", 0},
                 {"0000000000000000000000001", 1'000'000'000}, {"4294967295.999999999", 4'294'967'295'999'999'999},
                 {"1e-99999999999999999999", 0}, {"57cm", 57'000'000'000}, {"1.5.5", 1'500'000'000}}) {
    EXPECT_EQ(exactBillionths(c.text), c.billionths) << c.text;
  }
  for (const char* tooLarge : {"4294967296", "-4294967296", "1e10", "1e99999999999999999999", "1e999"})
    EXPECT_THROW(exactBillionths(tooLarge), LogReadError) << tooLarge;
}

TEST(Report, TotalsOutsideThe32BitRangeFail) {
  for (const char* records : {"3000000000 mts x\r\n", "1e999 mts x\r\n",
                              "1e999 mts x\r\n-1e999 mts y\r\n", "700000000 mts x\r\n",
                              "3000000000 cm x\r\n", "2147483647.5 mts x\r\n", "2147483647 mts x\r\n",
                              "-2147483648.000000001 mts x\r\n",
                              "2000000000 mts a\r\n2000000000 mts b\r\n-2000000000 mts c\r\n"}) {
    EXPECT_THROW(report(kBannerLine + records), LogReadError) << records;
  }
}

TEST(Report, AFirstSpaceBeyondSixteenBitPositionsFails) {
  EXPECT_THROW(report(std::string(32767, '1') + " cm\r\n"), LogReadError);
  EXPECT_EQ(report(std::string(32765, '0') + "1 cm\r\n"), "On file: 0 mts  = 0 ft");
}

// --- Start-up's preparation of the log.

class PrepareLog : public WithCore {};

// Start-up keeps the program's own log byte for byte (a byte order mark or
// spaces before its banner are still its own) and a record is appended to
// it; any other log is moved aside as a backup, leaving no temporary. Only
// the beginning is read to find the banner, however long the first line.
TEST_F(PrepareLog, KeepsItsOwnLogAndBacksUpAnyOther) {
  struct Case { std::optional<std::string> content; bool kept; };
  const std::string longLine(3 << 20, 'x');
  const std::vector<Case> cases = {
      {std::nullopt, false}, {"", false},
      {kBannerLine + "57 cm 12-08-2026 17:04:09\r\n1.23 mts 12-09-2026 08:00:00", true},
      {"  " + kBannerLine, true}, {"\xEF\xBB\xBF" + kBannerLine + "57 cm x\r\n", true},
      {"\xEF\xBB\xBF  " + kBannerLine, true}, {"\xEF\xBB\xBF" + std::string(kLogBanner), true},
      {kBannerLine + longLine, true}, {std::string(4000, ' ') + kBannerLine + longLine, true},
      {"some other file\r\n57 cm x\r\n", false}, {"\r\n" + kBannerLine, false},
      {"*** visit korvek at https://korvek.example ***\r\n", false}, {"   ", false},
      {std::string(kLogBanner) + " \r\n1.23 mts x\r\n", false}, {longLine, false},
      {std::string(5000, ' ') + kBannerLine, false},
      {std::string(4050, ' ') + kLogBanner + longLine, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content.value_or("no log").substr(0, 80));
    CoreUnderTest s;
    if (c.content) writeFile(s.log(), *c.content);
    s.start();
    const std::filesystem::path backup = s.folder / "walked.log.bak";
    if (c.kept) {
      EXPECT_EQ(readFile(s.log()), *c.content);
      EXPECT_FALSE(std::filesystem::exists(backup));
      s->keyUp(27);
      EXPECT_EQ(readFile(s.log()).rfind(*c.content, 0), 0u) << "the record is appended to it";
      continue;
    }
    EXPECT_EQ(readFile(s.log()), kBannerLine);
    if (c.content.value_or("").empty()) continue;
    EXPECT_EQ(readFile(backup), *c.content);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.folder),
                            std::filesystem::directory_iterator()),
              2)
        << "the log and its backup, no temporary left";
  }
}

// The backups accumulate: an older one is never replaced.
TEST_F(PrepareLog, ABackupNeverReplacesABackup) {
  struct Case { std::vector<std::string> taken; const char* expected; };
  for (const Case& c : {Case{{"walked.log.bak"}, "walked.log.bak.1"},
                        Case{{"walked.log.bak", "walked.log.bak.1"}, "walked.log.bak.2"},
                        Case{{"walked.log.bak.1"}, "walked.log.bak"},
                        Case{{"walked.log.bak", "walked.log.bak.2"}, "walked.log.bak.1"}}) {
    CoreUnderTest s;
    for (const std::string& name : c.taken) writeFile(s.folder / name, "older history " + name);
    writeFile(s.log(), "\xEF\xBB\xBF \r\n" + kBannerLine + "57 cm x\r\n");
    s.start();
    EXPECT_EQ(readFile(s.log()), kBannerLine);
    EXPECT_EQ(readFile(s.folder / c.expected), "\xEF\xBB\xBF \r\n" + kBannerLine + "57 cm x\r\n");
    for (const std::string& name : c.taken)
      EXPECT_EQ(readFile(s.folder / name), "older history " + name) << name;
  }
}

TEST_F(PrepareLog, ABackupNameTakenByAFolderOrASymlinkIsSkipped) {
  std::filesystem::create_directory(s.folder / "walked.log.bak");
  std::filesystem::create_symlink(s.folder / "nowhere", s.folder / "walked.log.bak.1");
  writeFile(s.log(), "foreign\r\n");
  s.start();
  EXPECT_EQ(readFile(s.folder / "walked.log.bak.2"), "foreign\r\n");
  EXPECT_TRUE(std::filesystem::is_directory(s.folder / "walked.log.bak"));
  EXPECT_TRUE(std::filesystem::is_symlink(s.folder / "walked.log.bak.1"));
  EXPECT_FALSE(std::filesystem::exists(s.folder / "nowhere"));
}

// Runs a step on a thread of its own; a step blocked on a FIFO is freed by
// opening the FIFO's other end, and then counts as blocked.
bool runsWithoutBlockingOn(const std::filesystem::path& fifo, const std::function<void()>& step) {
  constexpr auto kPatience = std::chrono::seconds(10);
  auto done = std::async(std::launch::async, step);
  if (done.wait_for(kPatience) == std::future_status::ready) return true;
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  done.wait();
  if (writer >= 0) close(writer);
  if (reader >= 0) close(reader);
  return false;
}

TEST_F(PrepareLog, AFifoIsNeverOpenedAtStartUpAtTheEndOrByTheReport) {
  ASSERT_EQ(mkfifo(s.log().c_str(), 0600), 0);
  EXPECT_TRUE(runsWithoutBlockingOn(s.log(), [&] { s.start(); })) << "start-up";
  EXPECT_TRUE(std::filesystem::is_fifo(s.log())) << "left as it is";
  EXPECT_FALSE(std::filesystem::exists(s.folder / "walked.log.bak"));
  EXPECT_TRUE(runsWithoutBlockingOn(s.log(), [&] { s->keyUp(kKeyNumpadPlus); })) << "report";
  EXPECT_EQ(s.services.boxes, std::vector<std::string>{"Disk Access Error: Log could not be restored"});
  EXPECT_TRUE(runsWithoutBlockingOn(s.log(), [&] { s->keyUp(27); })) << "end of the run";
  EXPECT_TRUE(s->ended() && s->exitStatus() == ExitStatus::Success);
  EXPECT_TRUE(std::filesystem::is_fifo(s.log()));
}

// A log that cannot be opened (another user's, a failing disk) is not foreign:
// it stays exactly as it is, and no backup takes its place.
TEST_F(PrepareLog, ALogThatCannotBeReadIsLeftAsItIs) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
  const std::string content = kBannerLine + "57 cm 12-08-2026 17:04:09\r\n";
  writeFile(s.log(), content);
  writeFile(s.folder / "walked.log.bak", "older history");
  chmod(s.log().c_str(), 0);
  s.start();
  s->keyUp(kKeyNumpadPlus);
  EXPECT_EQ(s.services.boxes, std::vector<std::string>{"Disk Access Error: Log could not be restored"});
  s->keyUp(27);
  EXPECT_TRUE(s->ended());
  EXPECT_EQ(s->exitStatus(), ExitStatus::RecordNotKept) << "its record could not be kept";
  chmod(s.log().c_str(), 0600);
  EXPECT_EQ(readFile(s.log()), content);
  EXPECT_EQ(readFile(s.folder / "walked.log.bak"), "older history");
  EXPECT_FALSE(std::filesystem::exists(s.folder / "walked.log.bak.1"));
}

TEST_F(PrepareLog, ALogThatIsNoPlainFileIsLeftAsItIs) {
  std::filesystem::create_directory(s.log());
  writeFile(s.log() / "inside", "kept");
  s.start();
  EXPECT_EQ(readFile(s.log() / "inside"), "kept");
  EXPECT_FALSE(std::filesystem::exists(s.folder / "walked.log.bak"));

  // A symlink to a log that is not there now (a drive not mounted) stays.
  CoreUnderTest t;
  std::filesystem::create_symlink(t.folder / "unmounted" / "walked.log", t.log());
  t.start();
  t->keyUp(27);
  EXPECT_TRUE(std::filesystem::is_symlink(t.log()));
  EXPECT_FALSE(std::filesystem::exists(t.folder / "unmounted"));
}

// A file planted under a temporary's name is never followed nor overwritten.
TEST_F(PrepareLog, APlantedTemporaryIsNeverFollowed) {
  const std::filesystem::path victim = s.folder / "victim";
  writeFile(victim, "someone else's file");
  std::filesystem::create_symlink(victim, s.folder / "walked.log.new");
  writeFile(s.log(), "foreign\r\n");
  s.start();
  EXPECT_EQ(readFile(victim), "someone else's file");
  EXPECT_TRUE(std::filesystem::is_symlink(s.folder / "walked.log.new"));
  EXPECT_EQ(readFile(s.log()), kBannerLine);
  EXPECT_EQ(readFile(s.folder / "walked.log.bak"), "foreign\r\n");
}

// A start-up killed between making its temporary and renaming it leaves the
// temporary behind; the next start-up removes it. Only ours goes: the exact
// name, a plain file, nothing but the beginning of a fresh log in it.
TEST_F(PrepareLog, TemporariesLeftByAKilledStartAreRemovedAndNothingElse) {
  writeFile(s.log(), kBannerLine + "57 cm 12-08-2026 17:04:09\r\n");
  const std::vector<std::pair<std::string, std::string>> ours = {
      {"walked.log.new.0123abcd", ""}, {"walked.log.new.deadbeef", "*** Vis"},
      {"walked.log.new.abcdef01", kBannerLine},
  };
  const std::vector<std::pair<std::string, std::string>> foreign = {
      {"walked.log.new.0123ABCD", ""}, {"walked.log.new.0123abc", ""},
      {"walked.log.new.0123abcde", ""}, {"walked.log.new.0123abcg", ""},
      {"walked.log.new.99999999", "my own notes"},
      {"walked.log.new.88888888", kBannerLine + "57 cm x\r\n"}, {"walked.log.new", ""},
      {"other.log.new.77777777", ""},
  };
  for (const auto& [name, content] : ours) writeFile(s.folder / name, content);
  for (const auto& [name, content] : foreign) writeFile(s.folder / name, content);
  const std::filesystem::path victim = s.folder / "victim";
  writeFile(victim, "");
  std::filesystem::create_symlink(victim, s.folder / "walked.log.new.11111111");
  std::filesystem::create_directory(s.folder / "walked.log.new.22222222");
  s.start();
  for (const auto& [name, content] : ours)
    EXPECT_FALSE(std::filesystem::exists(s.folder / name)) << name;
  for (const auto& [name, content] : foreign) EXPECT_EQ(readFile(s.folder / name), content) << name;
  EXPECT_TRUE(std::filesystem::is_symlink(s.folder / "walked.log.new.11111111"));
  EXPECT_TRUE(std::filesystem::exists(victim));
  EXPECT_TRUE(std::filesystem::is_directory(s.folder / "walked.log.new.22222222"));
  EXPECT_EQ(readFile(s.log()), kBannerLine + "57 cm 12-08-2026 17:04:09\r\n");
}

TEST_F(PrepareLog, AnUnknownExecutableFolderKeepsNoLog) {
  s.services.folder.clear();
  const std::filesystem::path here = std::filesystem::current_path();
  const bool hadLog = std::filesystem::exists(here / "walked.log");
  s.start();
  s->advanceBy(1000);
  s->keyUp(kKeyNumpadPlus);
  EXPECT_EQ(s.services.boxes, std::vector<std::string>{"Disk Access Error: Log could not be restored"});
  s->keyUp(27);
  EXPECT_TRUE(s->ended() && s->exitStatus() == ExitStatus::Success);
  EXPECT_TRUE(s.disk.synced.empty()) << "nothing written anywhere";
  EXPECT_EQ(std::filesystem::exists(here / "walked.log"), hadLog) << "never the working folder";
  EXPECT_TRUE(std::filesystem::is_empty(s.folder));
}

TEST_F(PrepareLog, AnUnwritableFolderDoesNotStopTheSaver) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  writeFile(s.log(), "foreign\r\n");
  chmod(s.folder.c_str(), 0555);
  s.start();
  EXPECT_FALSE(s->ended());
  EXPECT_EQ(readFile(s.log()), "foreign\r\n") << "kept as it was, nothing lost";
  chmod(s.folder.c_str(), 0755);
}

TEST_F(PrepareLog, AMissingFolderDoesNotStopTheSaver) {
  s.services.folder = (s.folder / "not-there").string();
  s.start();
  s->advanceBy(1000);
  EXPECT_FALSE(s->ended());
  EXPECT_TRUE(s.services.errors.empty());
}

// The names in the log's folder that start as a temporary's do.
std::vector<std::string> temporaries(const std::filesystem::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().filename().string().starts_with("walked.log.new."))
      found.push_back(entry.path());
  return found;
}

// The disk failing start-up at each step: a fresh log appears whole or not at
// all, no temporary stays, a foreign log is never lost (it stays as it was,
// or lives on as its backup), and the run goes on.
TEST_F(PrepareLog, AFailingDiskAtStartUpLosesNothingAndLeavesNoTemporary) {
  const std::string foreign = "some other file\r\n";
  using Faults = std::function<void(FakeDisk&)>;
  struct Case {
    const char* name;
    std::optional<std::string> log;  // none: no log before the start
    Faults stage;
    std::optional<std::string> logAfter, backupAfter;
  };
  const auto fault = [](DiskCall call, int error) -> Faults {
    return [=](FakeDisk& d) { d.faults[call].next = {error}; };
  };
  const auto always = [](DiskCall call, int error) -> Faults {
    return [=](FakeDisk& d) { d.faults[call].after = error; };
  };
  const Faults full = [](FakeDisk& d) { d.writes = {{0, ENOSPC}}; };
  const Faults noLinks = always(DiskCall::HardLink, EPERM);
  // Nothing ({}) for no log before or after the start, or no backup after it.
  const std::vector<Case> cases = {
      {"a full disk while the fresh log is written", {}, full, {}, {}},
      {"a full disk part way through the fresh log", {},
       [](FakeDisk& d) { d.writes = {{10, 0}, {0, ENOSPC}}; }, {}, {}},
      {"a folder that takes no new file", {}, fault(DiskCall::CreateNew, EROFS), {}, {}},
      {"a write error found at the close", {}, fault(DiskCall::CloseFile, EIO), {}, {}},
      {"a failed rename of the fresh log", {}, fault(DiskCall::Rename, EIO), {}, {}},
      {"failed pushes to the disk", {}, always(DiskCall::SyncToDisk, EIO), kBannerLine, {}},
      {"a foreign log, then a full disk", foreign, full, foreign, {}},
      {"a foreign log, then a failed rename", foreign, fault(DiskCall::Rename, EIO), foreign, {}},
      {"a foreign log in a folder without hard links", foreign, noLinks, kBannerLine, foreign},
      {"a foreign log, no hard link and a failed rename", foreign,
       [&](FakeDisk& d) { noLinks(d); fault(DiskCall::Rename, EIO)(d); }, foreign, {}},
      {"a foreign log moved to its backup, then a full disk", foreign,
       [&](FakeDisk& d) { noLinks(d); full(d); }, {}, foreign},
      {"a foreign log, then failed pushes to the disk", foreign,
       always(DiskCall::SyncToDisk, EIO), kBannerLine, foreign},
      {"a log whose beginning cannot be read", foreign, fault(DiskCall::ReadHead, EIO), foreign,
       {}},
      {"a log that cannot be looked at", foreign, fault(DiskCall::EntryAt, EACCES), foreign, {}},
  };
  for (const Case& c : cases) {
    CoreUnderTest s;
    if (c.log) writeFile(s.log(), *c.log);
    c.stage(s.disk);
    s.start();
    EXPECT_EQ(contentOf(s.log()), c.logAfter) << c.name;
    EXPECT_EQ(contentOf(s.folder / "walked.log.bak"), c.backupAfter) << c.name;
    EXPECT_EQ(temporaries(s.folder), std::vector<std::string>{}) << c.name;
    s->advanceBy(1000);
    EXPECT_FALSE(s->ended()) << c.name;
    EXPECT_TRUE(s.services.told.empty() && s.services.boxes.empty() && s.services.errors.empty())
        << c.name << ": start-up says nothing";
  }
}

// A temporary's name is drawn afresh while the drawn one is taken; when every
// try finds its name taken, the fresh log is given up and the files that hold
// those names are left as they are.
TEST_F(PrepareLog, ATakenTemporaryNameIsDrawnAgainAndNeverReplaced) {
  struct Case { int taken; bool written; };
  for (Case c : {Case{1, true}, {15, true}, {16, false}}) {
    CoreUnderTest s;
    writeFile(s.folder / "walked.log.new.00000000", "my notes");
    for (int k = 0; k < c.taken; ++k) s.disk.names.push_back("00000000");
    s.disk.names.push_back("0000000f");
    s.start();
    EXPECT_EQ(contentOf(s.log()), c.written ? std::optional(kBannerLine) : std::nullopt) << c.taken;
    EXPECT_EQ(s.disk.calls[DiskCall::CreateNew], std::min(c.taken + 1, 16)) << c.taken;
    EXPECT_EQ(readFile(s.folder / "walked.log.new.00000000"), "my notes") << c.taken;
    EXPECT_FALSE(std::filesystem::exists(s.folder / "walked.log.new.0000000f")) << c.taken;
  }
}

// A folder that cannot be listed leaves the temporaries of a killed start
// where they are (the next start may list it); the log is made ready all the
// same.
TEST_F(PrepareLog, AFolderThatCannotBeListedStillGetsItsLog) {
  writeFile(s.folder / "walked.log.new.0123abcd", "");
  s.disk.faults[DiskCall::ListFolder].next = {EIO};
  s.start();
  EXPECT_EQ(readFile(s.log()), kBannerLine);
  EXPECT_TRUE(std::filesystem::exists(s.folder / "walked.log.new.0123abcd"));
}

// --- The record at the end of a run.

const std::regex kRecord(R"(^[0-9.]+ (cm|mts) \d{2}-\d{2}-\d{4} \d{2}:\d{2}:\d{2}\r$)");

class SaveLogAndQuit : public WithStartedCore {};

TEST_F(SaveLogAndQuit, ZeroCentimetresBeforeTheFirstStep) {
  CoreUnderTest evening(1024, 768, ((17 * 60 + 4) * 60 + 9) * 1000LL);
  evening.start();
  evening->keyUp(27);
  EXPECT_EQ(readFile(evening.log()), kBannerLine + "0 cm 12-08-2026 17:04:09\r\n");
  EXPECT_TRUE(evening->ended() && evening->exitStatus() == ExitStatus::Success);
  EXPECT_FALSE(evening.disk.synced.empty()) << "the record is pushed to the disk";
  EXPECT_EQ(evening.disk.synced.back(), evening.log().string());
}

TEST_F(SaveLogAndQuit, MetresAfterTheFigurePasses99) {
  s.disableFalls();
  s->advanceBy(7259 * 100);
  s->clickAt(-1000, -1000);
  const auto l = s.logLines();
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[1].rfind("12.34 mts ", 0), 0u) << l[1];
  EXPECT_TRUE(std::regex_match(l[1], kRecord)) << l[1];
}

TEST_F(SaveLogAndQuit, RecordKeptWhenTheLogWasDeletedDuringTheRun) {
  std::filesystem::remove(s.log());
  s->keyUp(27);
  EXPECT_EQ(readFile(s.log()), kBannerLine + "0 cm 12-08-2026 12:00:00\r\n");
  // The next start-up keeps that record.
  CoreUnderTest next;
  std::filesystem::copy_file(s.log(), next.log());
  next.start();
  EXPECT_EQ(readFile(next.log()), kBannerLine + "0 cm 12-08-2026 12:00:00\r\n");
}

TEST_F(SaveLogAndQuit, ARecordNeverRunsOnFromAnOpenLine) {
  CoreUnderTest crashed;
  writeFile(crashed.log(), kBannerLine + "1.2");  // cut short by a crash
  crashed.start();
  crashed->keyUp(27);
  EXPECT_EQ(readFile(crashed.log()), kBannerLine + "1.2\r\n0 cm 12-08-2026 12:00:00\r\n");
}

TEST_F(SaveLogAndQuit, AnUnwritableLogStillEndsAtOnce) {
  std::filesystem::remove(s.log());
  std::filesystem::create_directory(s.log());  // not a file: cannot be opened for appending
  s->keyUp(27);
  EXPECT_TRUE(s->ended() && s->exitStatus() == ExitStatus::Success);
  EXPECT_TRUE(s.services.boxes.empty());
  EXPECT_TRUE(std::filesystem::is_empty(s.log()));
}

TEST_F(SaveLogAndQuit, AReadOnlyLogIsLeftUnchanged) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
  chmod(s.log().c_str(), 0444);
  s->keyUp(27);
  EXPECT_TRUE(s->ended());
  EXPECT_EQ(readFile(s.log()), kBannerLine);
}

TEST_F(SaveLogAndQuit, ManyEndingEventsAppendOneRecord) {
  s->keyUp(27);
  s->keyUp(32);
  s->clickAt(0, 0);
  s->keyUp(kKeyQ);
  s->advanceBy(1000);
  EXPECT_EQ(s.logLines().size(), 2u);
  EXPECT_TRUE(s->ended() && s->exitStatus() == ExitStatus::Success);
  EXPECT_TRUE(s.services.opened.empty());
}

// An end asked from outside (a signal) is a key's end: one record, and none
// more for any end that comes after it or came before it.
TEST(EndRequested, EndsTheRunWithOneRecordWhateverEndedItFirst) {
  struct Case { const char* name; std::function<void(CoreUnderTest&)> before, after; };
  const Case cases[] = {
      {"alone", [](CoreUnderTest&) {}, [](CoreUnderTest&) {}},
      {"after Escape", [](CoreUnderTest& s) { s->keyUp(27); }, [](CoreUnderTest&) {}},
      {"after a click", [](CoreUnderTest& s) { s->clickAt(0, 0); }, [](CoreUnderTest&) {}},
      {"asked twice", [](CoreUnderTest&) {}, [](CoreUnderTest& s) { s->endRequested(); }},
      {"then Escape and Q", [](CoreUnderTest&) {}, [](CoreUnderTest& s) { s->keyUp(27); s->keyUp(kKeyQ); }},
      {"after walking a while", [](CoreUnderTest& s) { s->advanceBy(5000); },
       [](CoreUnderTest& s) { s->advanceBy(1000); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartedCore s;
    c.before(s);
    s->endRequested();
    c.after(s);
    EXPECT_TRUE(s->ended());
    EXPECT_EQ(s->exitStatus(), ExitStatus::Success);
    EXPECT_EQ(s.logLines().size(), 2u) << readFile(s.log());
    EXPECT_TRUE(s.services.opened.empty());
  }
}

TEST(EndRequested, ARecordThatCannotBeKeptIsAFailureAndTheLogStaysAsItWas) {
  StartedCore s;
  const std::string before = readFile(s.log());
  s.disk.writes = {{0, ENOSPC}};
  s->endRequested();
  EXPECT_TRUE(s->ended());
  EXPECT_EQ(s->exitStatus(), ExitStatus::RecordNotKept);
  EXPECT_EQ(readFile(s.log()), before);
  ASSERT_EQ(s.services.told.size(), 1u);
  EXPECT_NE(s.services.told[0].find("No space left on device"), std::string::npos)
      << s.services.told[0];
}

// A box is modal: while it waits for its answer no event reaches a handler
// and no time passes, and the time-out the report's key leaves for after it
// starts once it is answered. An end asked meanwhile answers it and ends the
// run: with one record after the report's box, with none after a run-time
// error's, whose status stays a failure.
constexpr int64_t kPressedAt = 3000;

TEST(ModalBox, HoldsEventsAndTimeUntilAnsweredAndAnEndAnswersIt) {
  struct Case {
    const char* name;
    bool runTimeError;
    std::function<void(CoreUnderTest&)> whileOpen;
    bool ended;
    ExitStatus status;
    size_t logLines;
  };
  const auto endTwice = [](CoreUnderTest& s) { s->endRequested(); s->endRequested(); };
  const Case cases[] = {
      {"a key, a click and time", false,
       [](CoreUnderTest& s) {
         s->keyUp(kKeyF1);
         s->clickAt(0, 0);
         s->advanceBy(5000);
         EXPECT_EQ(s->now(), kPressedAt) << "time passed behind the box";
         EXPECT_FALSE(s->nextDue());
         EXPECT_EQ(s.scene.message.caption(), "Press F1 for Help") << "a key reached the program";
       },
       false, ExitStatus::Success, 0},
      {"an end, twice", false, endTwice, true, ExitStatus::Success, 2},
      {"an end after a run-time error", true, endTwice, true, ExitStatus::AfterRunTimeError, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartedCore s(Falls::Off);
    s->advanceBy(kPressedAt);
    s.services.whileBoxOpen = [&] {
      EXPECT_EQ(s.timers.messageTimeout.due(), Timers::kMessageTimeout) << "the time-out started before the answer";
      c.whileOpen(s);
    };
    if (c.runTimeError) {
      s.stage.setWalk(Direction::Leftward, 8);  // the next walk picture, 9, does not exist
      s->advanceBy(100);
    } else {
      std::filesystem::remove(s.log());
      s->keyUp(kKeyNumpadPlus);
    }
    EXPECT_EQ(s.services.boxes.size() + s.services.errors.size(), 1u);
    ASSERT_EQ(s->ended(), c.ended) << "a click reached the program, or an end did not";
    if (c.ended) {
      EXPECT_EQ(s->exitStatus(), c.status);
    } else {
      EXPECT_EQ(s.timers.messageTimeout.due(), kPressedAt + Timers::kMessageTimeout);
    }
    const std::vector<std::string> logged = s.logLines();
    ASSERT_EQ(logged.size(), c.logLines) << readFile(s.log());
    if (!logged.empty()) {
      EXPECT_EQ(logged.front() + "\n", kBannerLine);
    }
  }
}

// A record is all or nothing: whatever part of the append fails, the log goes
// back to its length before it, byte for byte, and the run ends as a failure
// told in one line with the reason.
TEST_F(SaveLogAndQuit, AFailedAppendLeavesTheLogAsItWasAndSaysWhy) {
  using Step = FakeDisk::WriteStep;
  struct Case {
    const char* name;
    std::deque<Step> writes;
    std::deque<int> syncs;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"disk full mid-record", {{10, 0}, {0, ENOSPC}}, {}, "No space left on device"},
      {"disk full at the first byte", {{0, ENOSPC}}, {}, "No space left on device"},
      {"file-size limit mid-record", {{3, 0}, {0, EFBIG}}, {}, "File too large"},
      {"a failing disk", {{0, EIO}}, {}, "Input/output error"},
      {"a quota", {{20, 0}, {0, EDQUOT}}, {}, "Disk quota exceeded"},
      {"a failed flush to the disk", {}, {EIO}, "Input/output error"},
      {"a full disk found at the flush", {}, {ENOSPC}, "No space left on device"},
  };
  for (const Case& c : cases) {
    CoreUnderTest s;
    const std::string before =
        kBannerLine + "57 cm 12-08-2026 17:04:09\r\n1.23 mts 12-09-2026 08:00:00\r\n";
    writeFile(s.log(), before);
    s.start();
    s->advanceBy(3000);
    s.disk.writes = c.writes;
    s.disk.faults[DiskCall::SyncFile].next = c.syncs;
    const std::string figure = s.scene.distance.caption();
    s->keyUp(27);
    EXPECT_EQ(readFile(s.log()), before) << c.name;
    EXPECT_TRUE(s->ended()) << c.name;
    EXPECT_EQ(s->exitStatus(), ExitStatus::RecordNotKept) << c.name;
    EXPECT_EQ(exitCodeOf(s->exitStatus()), 1) << c.name;
    ASSERT_EQ(s.services.told.size(), 1u) << c.name;
    EXPECT_EQ(s.services.told[0],
              std::string("the record of this run could not be kept in walked.log: ") + c.reason)
        << c.name;
    EXPECT_EQ(s.disk.calls[DiskCall::CutTo], 1) << c.name;
    EXPECT_TRUE(s.services.boxes.empty()) << c.name << ": no box at the end of a run";
    // Nothing is written twice: each piece carries on where the last ended.
    std::string pieces;
    for (const std::string& piece : s.disk.writtenPieces) pieces += piece;
    EXPECT_EQ(pieces, recordLine(figure, "cm", "12-08-2026", "12:00:03").substr(0, pieces.size()))
        << c.name;
  }
}

TEST_F(SaveLogAndQuit, AShortWriteIsFollowedByTheRestAlone) {
  using Step = FakeDisk::WriteStep;
  for (const std::deque<Step>& writes :
       {std::deque<Step>{{10, 0}}, std::deque<Step>{{1, 0}, {5, 0}}, std::deque<Step>{{0, EINTR}},
        std::deque<Step>{{4, 0}, {0, EINTR}}}) {
    StartedCore s;
    s.disk.writes = writes;
    s->keyUp(27);
    EXPECT_EQ(readFile(s.log()), kBannerLine + "0 cm 12-08-2026 12:00:00\r\n");
    EXPECT_EQ(s->exitStatus(), ExitStatus::Success);
    EXPECT_TRUE(s.services.told.empty());
    EXPECT_EQ(s.disk.calls[DiskCall::CutTo], 0);
  }
}

// The disk failing the end of a run around the write: what can lose the
// record is told, with its reason, and leaves the log as it was (a log
// deleted during the run and made again for the record goes again); what
// comes after the record is on the disk loses nothing.
TEST_F(SaveLogAndQuit, TheDiskFailingAroundTheWriteIsToldOnlyWhenTheRecordIsLost) {
  const std::string before = kBannerLine + "57 cm 12-08-2026 17:04:09\r\n";
  const std::string record = "0 cm 12-08-2026 12:00:00\r\n";
  struct Case {
    const char* name;
    std::function<void(CoreUnderTest&)> stage;
    std::optional<std::string> logAfter;  // none: no log
    int told;                             // the reason told, or 0 when nothing is
    std::optional<int> cuts;              // none: not counted
  };
  const auto fault = [](DiskCall call, int error) {
    return [=](CoreUnderTest& s) { s.disk.faults[call].next = {error}; };
  };
  const auto cannotOpen = [&](int error) {
    return Case{"the log cannot be opened", fault(DiskCall::OpenToAppend, error), before, error, 0};
  };
  const std::vector<Case> cases = {
      {"the length cannot be read", fault(DiskCall::FileLength, EIO), before, EIO, {}},
      {"a write error found at the close", fault(DiskCall::CloseFile, EIO), before + record, 0, {}},
      {"the folder entry cannot be pushed", fault(DiskCall::SyncToDisk, EIO), before + record, 0,
       {}},
      // Not knowing how the log ends, the record starts on a line of its own:
      // an empty line costs nothing, a record run on from another loses both.
      {"the last byte cannot be read", fault(DiskCall::ReadLastByte, EIO),
       before + "\r\n" + record, 0, {}},
      // A log that cannot be looked at is left alone, as start-up leaves it.
      {"the log cannot be looked at", fault(DiskCall::EntryAt, EACCES), before, 0, {}},
      {"a write interrupted for ever",
       [](CoreUnderTest& s) { s.disk.writes.assign(1000, {0, EINTR}); }, before, EINTR, {}},
      {"a full disk under a log made again",
       [](CoreUnderTest& s) {
         std::filesystem::remove(s.log());
         s.disk.writes = {{20, 0}, {0, ENOSPC}};
       },
       {}, ENOSPC, {}},
      cannotOpen(EACCES), cannotOpen(EROFS), cannotOpen(ENOSPC), cannotOpen(EMFILE),
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + ": " + std::strerror(c.told));
    CoreUnderTest s;
    writeFile(s.log(), before);
    s.start();
    c.stage(s);
    s->keyUp(27);
    EXPECT_EQ(contentOf(s.log()), c.logAfter);
    EXPECT_EQ(s->exitStatus(), c.told == 0 ? ExitStatus::Success : ExitStatus::RecordNotKept);
    ASSERT_EQ(s.services.told.size(), c.told == 0 ? 0u : 1u);
    if (c.told != 0) {
      EXPECT_NE(s.services.told[0].find(std::strerror(c.told)), std::string::npos)
          << s.services.told[0];
    }
    if (c.cuts) {
      EXPECT_EQ(s.disk.calls[DiskCall::CutTo], *c.cuts) << "nothing was written, nothing to cut";
    }
  }
}

// When even the cut fails the log cannot be mended; the line still says the
// record was not kept, once, and the next record starts on a line of its own.
TEST_F(SaveLogAndQuit, AFailedCutIsStillOneLineAndTheNextRecordStandsAlone) {
  s.disk.writes = {{10, 0}, {0, ENOSPC}};
  s.disk.faults[DiskCall::CutTo].next = {EIO};
  s->keyUp(27);
  EXPECT_EQ(s->exitStatus(), ExitStatus::RecordNotKept);
  ASSERT_EQ(s.services.told.size(), 1u);
  EXPECT_EQ(s.services.told[0].find('\n'), std::string::npos);
  CoreUnderTest next;
  std::filesystem::copy_file(s.log(), next.log());
  next.start();
  next->keyUp(27);
  const auto l = next.logLines();
  ASSERT_EQ(l.size(), 3u) << readFile(next.log());
  EXPECT_TRUE(std::regex_match(l[2], kRecord)) << l[2];
}

// --- The report on the + key.

TEST(ShowLoggedDistances, FillsThePanelAndArmsTheTimeOut) {
  CoreUnderTest s;
  writeFile(s.log(), kBannerLine + "57 cm a\r\n1.23 mts b\r\n");
  s.start();
  s->advanceBy(10'000);
  ASSERT_FALSE(s.scene.message.visible);
  s->keyUp(kKeyNumpadPlus);
  EXPECT_EQ(s.scene.message.caption(), "On file: 2 mts  = 6 ft");
  EXPECT_TRUE(s.scene.message.visible);
  EXPECT_TRUE(s.timers.messageTimeout.enabled());
  s->keyUp(kKeyNumpadPlus);
  EXPECT_EQ(s.scene.message.caption(), "On file: 2 mts  = 6 ft") << "the current run is never counted";
  s->advanceBy(10'000);
  EXPECT_FALSE(s.scene.message.visible);
}

// A log that is missing, or there but cannot be opened (another user's, a
// failing disk), even for root: the box, the panel as it was, and the key
// still arms the time-out.
TEST(ShowLoggedDistances, ALogThatCannotBeReadShowsTheErrorBoxAndLeavesThePanel) {
  for (const std::optional<DiskCall> failing : {std::optional<DiskCall>(), {DiskCall::OpenToRead}, {DiskCall::EntryAt}}) {
    StartedCore s;
    if (failing) s.disk.faults[*failing].next = {EACCES};
    else std::filesystem::remove(s.log());
    s->keyUp(kKeyNumpadPlus);
    EXPECT_EQ(s.services.boxes, std::vector<std::string>{"Disk Access Error: Log could not be restored"});
    EXPECT_EQ(s.scene.message.caption(), "Press F1 for Help");
    EXPECT_TRUE(s.timers.messageTimeout.enabled()) << "the key still arms the time-out";
    EXPECT_FALSE(s->ended());
  }
}

}  // namespace
}  // namespace tw::test
