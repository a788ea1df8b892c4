#include "walk/progress.h"

#include "log/log.h"
#include "support/fixture.h"

namespace vesk {
namespace {

class ProgressTest : public test::CleanRun {
 protected:
  void walk(int objects, int failing) {
    startProgress(true);
    for (int i = 0; i < objects; ++i)
      noteProgress(i < failing ? 1 : 0, "/data/dir" + std::to_string(i / 10));
    endProgress();
  }
};

const char kSummary[] =
    "vesk: 3 of 50 objects could not be read; /l:FILE logs why\n";

TEST_F(ProgressTest, LineOnlyWhenErrorsGoToATerminalAndTheReportDoesNot) {
  struct Case {
    bool errorIsTerminal;
    bool outputIsTerminal;
    bool walking;
    const char* errors;
  };
  const Case cases[] = {
      {false, false, true, ""},
      {false, true, true, ""},
      {true, true, true, kSummary},  // no line, but the summary after all
      {true, false, false, kSummary},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.errorIsTerminal * 4 + c.outputIsTerminal * 2 + c.walking);
    fake::reset();
    fake::script().errorIsTerminal = c.errorIsTerminal;
    fake::script().outputIsTerminal = c.outputIsTerminal;
    startProgress(c.walking);
    for (int i = 0; i < 50; ++i) noteProgress(i < 3 ? 1 : 0, "/data");
    endProgress();
    EXPECT_EQ(c.errors, fake::errors());
  }
}

TEST_F(ProgressTest, RedrawnTenTimesASecondAtMostThenErased) {
  fake::script().errorIsTerminal = true;
  fake::script().millisPerCall = 10;  // 100 objects a second
  walk(25, 0);
  // Drawn at objects 1, 11 and 21; then blanked and the cursor returned.
  EXPECT_EQ(
      "\r1 objects, 0 failed  /data/dir0"
      "\r11 objects, 0 failed  /data/dir1"
      "\r21 objects, 0 failed  /data/dir2"
      "\r" +
          std::string(32, ' ') + "\r",
      fake::errors());
}

// The summary stands where the line stood, its tail blanked, and ends the
// line; with a log open it points there.
TEST_F(ProgressTest, FailuresLeaveASummaryInPlaceOfTheLine) {
  fake::script().errorIsTerminal = true;
  fake::script().millisPerCall = 10;
  ASSERT_TRUE(openLog("run.log"));
  startProgress(true);
  noteProgress(1, "/" + std::string(80, 'x'));
  endProgress();
  const std::string summary =
      "vesk: 1 of 1 object could not be read; the log says why";
  const std::string line = "1 objects, 1 failed  ..." + std::string(57, 'x');
  EXPECT_EQ("\r" + line + "\r" + summary +
                std::string(line.size() - summary.size(), ' ') + "\n",
            fake::errors());
}

TEST_F(ProgressTest, LongDirectoriesShowTheirTail) {
  fake::script().errorIsTerminal = true;
  startProgress(true);
  noteProgress(0, "/" + std::string(100, 'x') + "/end\tdir");
  const std::string err = fake::errors();
  EXPECT_EQ("\r1 objects, 0 failed  ...", err.substr(0, 25));
  EXPECT_EQ("xxx/end\\011dir", err.substr(err.size() - 14));
  EXPECT_EQ(22u + 60u, err.size());  // "\r", the counts, the tail
  endProgress();
}

}  // namespace
}  // namespace vesk
