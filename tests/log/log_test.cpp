#include "log/log.h"

#include "support/fixture.h"

namespace vesk {
namespace {

class LogTest : public test::CleanRun {};

TEST_F(LogTest, Stamps) {
  struct Case {
    platform::LocalTime clock;
    const char* date;
  };
  const Case cases[] = {
      {{2009, 5, 11, "09:15:42"}, "2009-05-11"},
      {{2026, 12, 8, "23:59:59"}, "2026-12-08"},
      {{999, 1, 1, "00:00:00"}, "999-01-01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date);
    fake::script().clock = c.clock;
    stampTime();
    EXPECT_STREQ(c.date, appState.dateStamp);
    EXPECT_STREQ(c.clock.time, appState.timeStamp);
  }
}

TEST_F(LogTest, NothingIsWrittenBeforeTheLogIsOpen) {
  logLine("lost");
  logBlankLine();
  EXPECT_FALSE(logOpen());
  ASSERT_TRUE(openLog("a"));
  stampTime();
  logLine("kept %s %n");
  EXPECT_EQ("Logfile created by VESK:\n2009-05-11 09:15:42\tkept %s %n\n",
            fake::file("a"));
}

TEST_F(LogTest, ASecondLogTakesOverAndTheFirstKeepsWhatItHas) {
  ASSERT_TRUE(openLog("first"));
  stampTime();
  logLine("one");
  ASSERT_TRUE(openLog("second"));
  logLine("two");
  EXPECT_EQ("Logfile created by VESK:\n2009-05-11 09:15:42\tone\n",
            fake::file("first"));
  EXPECT_EQ("Logfile created by VESK:\n2009-05-11 09:15:42\ttwo\n",
            fake::file("second"));
}

TEST_F(LogTest, UncreatableLogAlerts) {
  fake::script().uncreatable.insert("x:\\no\\log");
  EXPECT_FALSE(openLog("x:\\no\\log"));
  EXPECT_FALSE(openLog(""));
  EXPECT_EQ((std::vector<std::string>{
                "VESK 1.00|Could not open Logfile x:\\no\\log !|E",
                "VESK 1.00|Could not open Logfile  !|E"}),
            fake::record().alerts);
  EXPECT_FALSE(logOpen());
}

TEST_F(LogTest, Hex) {
  EXPECT_EQ("0x00000078", hex8(120));
  EXPECT_EQ("0xffffffff", hex8(0xFFFFFFFFu));
}

}  // namespace
}  // namespace vesk
