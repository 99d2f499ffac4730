#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <sstream>

#include "log/log_file.h"
#include "tests/harness.h"

namespace tw::test {
namespace {

const std::string kBannerLine = std::string(kLogBanner) + "\r\n";

std::vector<std::string> fields(const std::string& content) {
  std::istringstream in(content);
  FieldReader reader(in);
  std::vector<std::string> out;
  while (!reader.atEnd()) out.push_back(reader.readField());
  return out;
}

TEST(FieldReader, SplitsAtCommasAndLineEndsAndHonoursQuotes) {
  struct Case { const char* content; std::vector<std::string> fields; };
  const std::vector<Case> cases = {
      {"57 cm 12-08-2026 17:04:09\r\n", {"57 cm 12-08-2026 17:04:09"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb", {"a", "b"}},
      {"   leading spaces  \r\n", {"leading spaces  "}},
      {"one,two\r\n", {"one", "two"}},
      {"\"quoted, with comma\" tail,next\r\n", {"quoted, with comma", "next"}},
      {"\"unterminated", {"unterminated"}},
      {"\r\n\r\nx", {"", "", "x"}},
      {"last line without end", {"last line without end"}},
      {",", {""}},
  };
  for (const Case& c : cases) EXPECT_EQ(fields(c.content), c.fields) << c.content;
}

TEST(FieldReader, ReadingPastTheEndFails) {
  for (const char* content : {"", "   "}) {
    std::istringstream in(content);
    FieldReader reader(in);
    EXPECT_THROW(reader.readField(), LogReadError) << '"' << content << '"';
  }
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
  struct Case { const char* records; const char* text; };
  for (Case c : {Case{"", "On file: 0 mts  = 0 ft"},
                 {"57 cm 12-08-2026 17:04:09\r\n1.23 mts 12-08-2026 17:05:00\r\n",
                  "On file: 2 mts  = 6 ft"},
                 {"2.5 mts a\r\n2.5 mts b\r\n", "On file: 5 mts  = 16 ft"},
                 {"12 mts x\r\n", "On file: 12 mts  = 39 ft"},
                 {"100 mts x\r\n", "On file: 100 mts  = 328 ft"},
                 {"50 cm x\r\n", "On file: 0 mts  = 2 ft"},
                 {"57cm typed by hand\r\n", "On file: 1 mts  = 2 ft"},  // "57cm" reads as 57
                 {"57cm\r\n", "On file: 0 mts  = 0 ft"},
                 {"3 cmts\r\n", "On file: 3 mts  = 10 ft"},  // both tests hold: 0.03 + 3
                 {"-150 cm x\r\n", "On file: -2 mts  = -5 ft"},
                 {"1e2 mts x\r\n", "On file: 100 mts  = 328 ft"},
                 {"\"7 mts\", more\r\n", "On file: 7 mts  = 23 ft"},
                 {"1,5 mts\r\n", "On file: 5 mts  = 16 ft"}}) {
    EXPECT_EQ(report(kBannerLine + c.records), c.text) << c.records;
  }
}

TEST(Report, TotalsOutsideThe32BitRangeFail) {
  for (const char* records : {"3000000000 mts x\r\n", "1e999 mts x\r\n",
                              "1e999 mts x\r\n-1e999 mts y\r\n", "700000000 mts x\r\n"}) {
    EXPECT_THROW(report(kBannerLine + records), LogReadError) << records;
  }
}

TEST(Report, AFirstSpaceBeyondSixteenBitPositionsFails) {
  EXPECT_THROW(report(std::string(32767, '1') + " cm\r\n"), LogReadError);
  EXPECT_EQ(report(std::string(32765, '0') + "1 cm\r\n"), "On file: 0 mts  = 0 ft");
}

// --- Start-up's preparation of the log.

TEST(PrepareLog, CreatesTheBannerWhenThereIsNoLog) {
  Saver s;
  s.start();
  EXPECT_EQ(readFile(s.log()), kBannerLine);
}

TEST(PrepareLog, KeepsAValidLogByteForByte) {
  Saver s;
  const std::string content = kBannerLine + "57 cm 12-08-2026 17:04:09\r\n1.23 mts 12-09-2026 08:00:00";
  writeFile(s.log(), content);
  s.start();
  EXPECT_EQ(readFile(s.log()), content);
  EXPECT_FALSE(std::filesystem::exists(s.folder / "walked.log.bak"));
}

TEST(PrepareLog, ReplacesAnEmptyLog) {
  Saver s;
  writeFile(s.log(), "");
  s.start();
  EXPECT_EQ(readFile(s.log()), kBannerLine);
}

TEST(PrepareLog, KeepsAForeignLogAsABackup) {
  for (const std::string& foreign :
       {std::string("some other file\r\n57 cm x\r\n"), std::string("\r\n") + kBannerLine,
        std::string("*** visit korvek at https://korvek.example ***\r\n"), std::string("   ")}) {
    Saver s;
    writeFile(s.folder / "walked.log.bak", "an older backup");
    writeFile(s.log(), foreign);
    s.start();
    EXPECT_EQ(readFile(s.log()), kBannerLine);
    EXPECT_EQ(readFile(s.folder / "walked.log.bak"), foreign);
    EXPECT_FALSE(std::filesystem::exists(s.folder / "walked.log.new")) << "no temporary left";
  }
}

TEST(PrepareLog, LeadingSpacesBeforeTheBannerStillMatch) {
  Saver s;
  writeFile(s.log(), "  " + kBannerLine);
  s.start();
  EXPECT_EQ(readFile(s.log()), "  " + kBannerLine);
}

TEST(PrepareLog, AnUnwritableFolderDoesNotStopTheSaver) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  Saver s;
  writeFile(s.log(), "foreign\r\n");
  chmod(s.folder.c_str(), 0555);
  s.start();
  EXPECT_FALSE(s->ended());
  EXPECT_EQ(readFile(s.log()), "foreign\r\n") << "kept as it was, nothing lost";
  chmod(s.folder.c_str(), 0755);
}

TEST(PrepareLog, AMissingFolderDoesNotStopTheSaver) {
  Saver s;
  s.services.folder = (s.folder / "not-there").string();
  s.start();
  s->advanceBy(1000);
  EXPECT_FALSE(s->ended());
  EXPECT_TRUE(s.services.errors.empty());
}

// --- The record at the end of a run.

const std::regex kRecord(R"(^[0-9.]+ (cm|mts) \d{2}-\d{2}-\d{4} \d{2}:\d{2}:\d{2}\r$)");

std::vector<std::string> lines(const std::string& content) {
  std::vector<std::string> out;
  std::istringstream in(content);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST(SaveLogAndQuit, ZeroCentimetresBeforeTheFirstStep) {
  Saver s(1024, 768, ((17 * 60 + 4) * 60 + 9) * 1000LL);
  s.start();
  s->keyUp(27);
  EXPECT_EQ(readFile(s.log()), kBannerLine + "0 cm 12-08-2026 17:04:09\r\n");
  EXPECT_EQ(s->exitStatus(), ExitStatus::Success);
  EXPECT_FALSE(s.services.synced.empty()) << "the record is pushed to the disk";
  EXPECT_EQ(s.services.synced.back(), s.log().string());
}

TEST(SaveLogAndQuit, MetresAfterTheFigurePasses99) {
  Saver s;
  s.start();
  s.course.fallsEnabled = 0;
  s->advanceBy(7259 * 100);
  s->clickAt(-1000, -1000);
  const auto l = lines(readFile(s.log()));
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[1].rfind("12.34 mts ", 0), 0u) << l[1];
  EXPECT_TRUE(std::regex_match(l[1], kRecord)) << l[1];
}

TEST(SaveLogAndQuit, RecordKeptWhenTheLogWasDeletedDuringTheRun) {
  std::filesystem::path folder;
  {
    Saver s;
    s.start();
    std::filesystem::remove(s.log());
    s->keyUp(27);
    EXPECT_EQ(readFile(s.log()), kBannerLine + "0 cm 12-08-2026 12:00:00\r\n");
    // The next start-up keeps that record.
    Saver next;
    std::filesystem::copy_file(s.log(), next.log());
    next.start();
    EXPECT_EQ(readFile(next.log()), kBannerLine + "0 cm 12-08-2026 12:00:00\r\n");
  }
}

TEST(SaveLogAndQuit, ARecordNeverRunsOnFromAnOpenLine) {
  Saver s;
  writeFile(s.log(), kBannerLine + "1.2");  // cut short by a crash
  s.start();
  s->keyUp(27);
  EXPECT_EQ(readFile(s.log()), kBannerLine + "1.2\r\n0 cm 12-08-2026 12:00:00\r\n");
}

TEST(SaveLogAndQuit, AnUnwritableLogStillEndsAtOnce) {
  Saver s;
  s.start();
  std::filesystem::remove(s.log());
  std::filesystem::create_directory(s.log());  // not a file: cannot be opened for appending
  s->keyUp(27);
  EXPECT_TRUE(s->ended());
  EXPECT_EQ(s->exitStatus(), ExitStatus::Success);
  EXPECT_TRUE(s.services.boxes.empty());
  EXPECT_TRUE(std::filesystem::is_empty(s.log()));
}

TEST(SaveLogAndQuit, AReadOnlyLogIsLeftUnchanged) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
  Saver s;
  s.start();
  chmod(s.log().c_str(), 0444);
  s->keyUp(27);
  EXPECT_TRUE(s->ended());
  EXPECT_EQ(readFile(s.log()), kBannerLine);
}

TEST(SaveLogAndQuit, ManyEndingEventsAppendOneRecord) {
  Saver s;
  s.start();
  s->keyUp(27);
  s->keyUp(32);
  s->clickAt(0, 0);
  s->keyUp(kKeyQ);
  s->advanceBy(1000);
  EXPECT_EQ(lines(readFile(s.log())).size(), 2u);
  EXPECT_EQ(s->exitStatus(), ExitStatus::Success);
  EXPECT_TRUE(s.services.opened.empty());
}

// --- The report on the + key.

TEST(ShowLoggedDistances, FillsThePanelAndArmsTheTimeOut) {
  Saver s;
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

TEST(ShowLoggedDistances, MissingLogShowsTheErrorBoxAndLeavesThePanel) {
  Saver s;
  s.start();
  std::filesystem::remove(s.log());
  s->keyUp(kKeyNumpadPlus);
  ASSERT_EQ(s.services.boxes.size(), 1u);
  EXPECT_EQ(s.services.boxes[0], "Disk Access Error: Log could not be restored");
  EXPECT_EQ(s.scene.message.caption(), "Press F1 for Help");
  EXPECT_TRUE(s.timers.messageTimeout.enabled()) << "the key still arms the time-out";
  EXPECT_FALSE(s->ended());
}

}  // namespace
}  // namespace tw::test
