#include "walk/progress.h"

#include "support/fixture.h"

namespace vesk {
namespace {

class ProgressTest : public test::CleanRun {
 protected:
  void walk(int objects, int failing) {
    startProgress();
    for (int i = 0; i < objects; ++i)
      noteProgress(i < failing ? 1 : 0, "/data/dir" + std::to_string(i / 10));
    endProgress();
  }
};

TEST_F(ProgressTest, ShownOnlyWhenErrorsGoToATerminalAndTheReportDoesNot) {
  const bool cases[][2] = {{false, false}, {true, true}, {false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c[0] * 2 + c[1]);
    fake::reset();
    fake::script().errorIsTerminal = c[0];
    fake::script().outputIsTerminal = c[1];
    walk(50, 3);
    EXPECT_EQ("", fake::errors());
  }
}

TEST_F(ProgressTest, RedrawnTenTimesASecondAtMostAndErasedAtTheEnd) {
  fake::script().errorIsTerminal = true;
  fake::script().millisPerCall = 10;  // 100 objects a second
  walk(25, 3);
  const std::string err = fake::errors();
  // Drawn at objects 1, 11 and 21; then blanked and the cursor returned.
  EXPECT_EQ(
      "\r1 objects, 1 failed  /data/dir0"
      "\r11 objects, 3 failed  /data/dir1"
      "\r21 objects, 3 failed  /data/dir2"
      "\r" +
          std::string(32, ' ') + "\r",
      err);
}

TEST_F(ProgressTest, LongDirectoriesShowTheirTail) {
  fake::script().errorIsTerminal = true;
  startProgress();
  noteProgress(0, "/" + std::string(100, 'x') + "/end\tdir");
  const std::string err = fake::errors();
  EXPECT_EQ("\r1 objects, 0 failed  ...", err.substr(0, 25));
  EXPECT_EQ("xxx/end\\011dir", err.substr(err.size() - 14));
  EXPECT_EQ(22u + 60u, err.size());  // "\r", the counts, the tail
  endProgress();
}

}  // namespace
}  // namespace vesk
