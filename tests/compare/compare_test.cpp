#include "compare/compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "compare/report_reader.h"

namespace vesk {
namespace {

// Each object as "path|flags|owner|entries", or "error: ..." at the end.
// The report is fed in pieces of the given size.
std::vector<std::string> objectsOf(const std::string& report, size_t piece) {
  std::vector<std::string> seen;
  ReportReader reader;
  const ObjectSink sink = [&](const ReportObject& o) {
    seen.push_back(o.path + "|" + o.flags + "|" + (o.owned ? "=" : "") +
                   o.owner + "|" + o.entries);
  };
  bool good = true;
  for (size_t at = 0; good && at < report.size(); at += piece)
    good = readReportBytes(&reader, report.data() + at,
                           std::min(piece, report.size() - at), sink);
  if (!good || !endReport(&reader, sink))
    seen.push_back("error: " + reader.error);
  return seen;
}

TEST(ReportReaderTest, BlocksAndFlatLines) {
  struct Case {
    const char* name;
    std::string report;
    std::vector<std::string> objects;
  };
  const std::string adm = "\tAdministrators\tA\tFC\tCI+OI\n";
  const Case cases[] = {
      {"empty report", "", {}},
      {"block with owner",
       "D:\\Data\t<not inherited>\tOwner: Adm\n" + adm + "\n",
       {"D:\\Data|<not inherited>|=Adm|" + adm}},
      {"CRLF, empty flags, mask without terms",
       "/d\t\r\n\tUsers\tA\tNP\r\n\tX\t\tR\t\r\n\r\n",
       {"/d|||\tUsers\tA\tNP\n\tX\t\tR\t\n"}},
      {"escaped tab, newline, backslash; non-UTF-8 bytes",
       "/d/a\\011b\\012c\\134\xff\xfe\t\n" + adm + "\n",
       {"/d/a\\011b\\012c\\134\xff\xfe|||" + adm}},
      {"flat lines group by path",
       "/d\t<inherited>\tAdm\tUsers\tA\t\tNP\n/d\t<inherited>\tAdm\tX\tD\tR\t\n"
       "/d/e\t\t\tX\tD\tR\tNP\n",
       {"/d|<inherited>|=Adm|\tUsers\tA\tNP\n\tX\tD\tR\t\n",
        "/d/e|||\tX\tD\tR\tNP\n"}},
      {"last line without its line end",
       "/d\t\n" + adm + "\n/e\t\n\tX",
       {"/d|||" + adm,
        "error: line 5: the last line has no line end: the "
        "report is cut short"}},
      {"last block without its empty line",
       "/d\t\n" + adm,
       {"error: line 3: the block of line 1 has no empty line at its end: "
        "the report is cut short"}},
      {"header inside a block",
       "/d\t\n" + adm + "/e\t\n",
       {"error: line 3: a header line before the block of line 1 ended with "
        "its empty line"}},
      {"block without entries",
       "/d\t\n\n",
       {"error: line 2: a block without entry lines"}},
      {"entry with six columns",
       "/d\t\n\ta\tb\tc\td\te\n",
       {"error: line 2: an entry line without four or five columns"}},
      {"flat line cut",
       "/d\t\t\tX\tD\tR\tNP\n/d\t\t\tX\n",
       {"error: line 2: a /tsv line without seven columns"}},
      {"not a report",
       "hello\n",
       {"error: line 1: neither a block's header "
        "nor a /tsv line: not a report"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.objects, objectsOf(c.report, c.report.size() + 1));
    EXPECT_EQ(c.objects, objectsOf(c.report, 1));  // lines split anywhere
  }
}

TEST(RelativeKeyTest, WindowsAndLinuxPathsMeetInOneKey) {
  struct Case {
    std::vector<std::string> paths;
    std::vector<std::string> keys;  // "!" for an error
  };
  const Case cases[] = {
      {{"D:\\Data", "D:\\Data\\a\\b", "D:\\Data\\x\\134"},
       {"", "a/b", "x/134"}},
      {{"/mnt/data", "/mnt/data/a\\134b/c\\011d", "/mnt/data/\\377"},
       {"", "a\\b/c\td", "\xff"}},
      {{"Data", "/tmp/m/Data/Private", "/tmp/m/Data/Public/r"},
       {"", "Private", "Public/r"}},
      {{"D:\\", "D:\\x", "D:\\y\\z"}, {"", "x", "y/z"}},
      {{"\\\\srv\\share\\d", "\\\\srv\\share\\d\\e"}, {"", "e"}},
      {{"img.raw/Users", "img.raw/Users/a"}, {"", "a"}},
      {{".", "/home/u/a", "/home/u/b/c"}, {"", "a", "b/c"}},
      {{"Data", "/m/Data/Private/deep", "/m/Data/Public"},
       {"", "Private/deep", "Public"}},
      {{"/mnt/data", "/mnt/data/a", "/elsewhere/b"}, {"", "a", "!"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.paths[1]);
    PathBase base;
    for (size_t i = 0; i < c.paths.size(); ++i) {
      std::string key, error;
      const bool good = relativeKey(&base, c.paths[i], &key, &error);
      EXPECT_EQ(c.keys[i], good ? key : "!") << error;
    }
  }
  EXPECT_EQ("a\\134b/c\\011d", shownKey("a\\b/c\td"));
  EXPECT_EQ(".", shownKey(""));
}

std::string readBack(FILE* stream) {
  std::string text(1 << 12, '\0');
  std::rewind(stream);
  text.resize(std::fread(&text[0], 1, text.size(), stream));
  std::fclose(stream);
  return text;
}

FILE* streamOf(const std::string& text) {
  FILE* stream = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), stream);
  std::rewind(stream);
  return stream;
}

// The order of changes, /tsv output and the other troubles: tests/e2e/diff.sh.
TEST(CompareReportsTest, WindowsAgainstLinuxAndCaseTwins) {
  struct Case {
    const char* name;
    std::string older, newer;
    int result;
    std::string out, err;  // err: the first line only
  };
  const std::string a = "\tAdm\tA\tFC\tCI+OI\n", u = "\tUsers\tA\tR\t\n";
  const std::string win =
      "D:\\Data\t<not inherited>\n" + a + "\nD:\\Data\\x\\y\t\n" + u + "\n";
  const Case cases[] = {
      {"Windows against Linux, blocks against /tsv", win,
       "/m/d\t<not inherited>\t\tAdm\tA\tFC\tCI+OI\n"
       "/m/d/x/y\t\t\tUsers\tA\tR\t\n",
       0, "", ""},
      {"names that Windows cannot tell apart", win,
       win + "D:\\Data\\X\\Y\t\n" + u + "\n", 2, "",
       "vesk-diff: NEW: line 7: the object X/Y is reported twice (names that "
       "differ only in letter case), first at line 4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    FILE* older = streamOf(c.older);
    FILE* newer = streamOf(c.newer);
    DiffSummary summary;
    EXPECT_EQ(c.result, compareReports({older, "OLD"}, {newer, "NEW"}, false,
                                       out, err, &summary));
    std::fclose(older);
    std::fclose(newer);
    EXPECT_EQ(c.out, readBack(out));
    const std::string said = readBack(err);
    EXPECT_EQ(c.err, said.substr(0, c.err.size()));
  }
}

}  // namespace
}  // namespace vesk
