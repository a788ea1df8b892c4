#include "report/account.h"

#include <algorithm>
#include <cstring>

#include "log/log.h"
#include "support/descriptor_builder.h"
#include "support/fixture.h"

namespace vesk {
namespace {

class AccountTest : public test::CleanRun {
 protected:
  // Keeps the identifier's bytes alive for the lookups.
  const platform::Sid* sid(const std::string& text) {
    sids_.push_back(test::sidBytes(text));
    return reinterpret_cast<const platform::Sid*>(sids_.back().data());
  }
  std::vector<std::string> servers() {
    std::vector<std::string> names;
    for (const char* slot : appState.serverNames) names.push_back(slot);
    return names;
  }

 private:
  std::vector<std::vector<uint8_t>> sids_;
};

TEST_F(AccountTest, ServerOfRemoteName) {
  const std::pair<const char*, const char*> cases[] = {
      {"\\\\fs01\\home", "fs01"},
      {"\\\\fs01\\home\\deep", "fs01"},
      {"\\\\fs01", ""},
      {"\\\\", ""},
      {"\\", ""},
      {"", ""},
      {"\\\\\\share", ""},
      {"xxsrv\\s", "srv"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(c.second, serverOfRemoteName(c.first));
  }
}

TEST_F(AccountTest, ServerSlotsFillInOrderKeepDuplicatesAndStopAtEight) {
  fake::script().remoteNames = {"\\\\a\\x", "\\\\a\\y", "\\\\nobackslash",
                                "\\\\b\\z", "\\\\c\\1", "\\\\d\\1",
                                "\\\\e\\1", "\\\\f\\1", "\\\\g\\1",
                                "\\\\h\\1", "\\\\i\\1"};
  collectServerNames();
  EXPECT_EQ((std::vector<std::string>{"a", "a", "b", "c", "d", "e", "f", "g"}),
            servers());
  EXPECT_EQ(1, fake::record().openEnums);
  EXPECT_EQ(1, fake::record().closedEnums);
}

TEST_F(AccountTest, NoNetworkLeavesSlotsEmpty) {
  fake::script().openEnumStatus = platform::kErrorNoNetwork;
  fake::script().remoteNames = {"\\\\a\\x"};
  collectServerNames();
  EXPECT_EQ(std::vector<std::string>(8, ""), servers());
  EXPECT_EQ(0, fake::record().closedEnums);
}

TEST_F(AccountTest, LocalNameFirst) {
  fake::script().accounts["|S-1-5-18"] = "SYSTEM";
  fake::script().accounts["a|S-1-5-18"] = "other";
  std::strcpy(appState.serverNames[0], "a");
  EXPECT_EQ("SYSTEM", accountName(sid("S-1-5-18")));
  EXPECT_EQ(std::vector<std::string>{"|S-1-5-18"}, fake::record().lookups);
}

TEST_F(AccountTest, NineAttemptsThenTheIdentifierItself) {
  ASSERT_TRUE(openLog("log"));
  stampTime();
  appState.verbose = true;
  std::strcpy(appState.serverNames[0], "fs01");
  std::strcpy(appState.serverNames[1], "fs01");
  EXPECT_EQ("S-1-5-21-7-8-9-500", accountName(sid("S-1-5-21-7-8-9-500")));
  const std::vector<std::string> asked = {
      "|S-1-5-21-7-8-9-500",     "fs01|S-1-5-21-7-8-9-500",
      "fs01|S-1-5-21-7-8-9-500", "|S-1-5-21-7-8-9-500",
      "|S-1-5-21-7-8-9-500",     "|S-1-5-21-7-8-9-500",
      "|S-1-5-21-7-8-9-500",     "|S-1-5-21-7-8-9-500",
      "|S-1-5-21-7-8-9-500"};
  EXPECT_EQ(asked, fake::record().lookups);
  const std::string stamp = "2009-05-11 09:15:42\t";
  EXPECT_EQ("Logfile created by VESK:\n" + stamp +
                "LookupAccountSid () failed: 1332\n" + stamp +
                "LookupAccountSid (fs01) failed: 1332\n" + stamp +
                "LookupAccountSid (fs01) failed: 1332\n" + stamp +
                "LookupAccountSid () failed: 1332\n" + stamp +
                "LookupAccountSid () failed: 1332\n" + stamp +
                "LookupAccountSid () failed: 1332\n" + stamp +
                "LookupAccountSid () failed: 1332\n" + stamp +
                "LookupAccountSid () failed: 1332\n",
            fake::file("log"));
}

TEST_F(AccountTest, NamesAreRememberedUnlessTheirFailuresWouldBeLogged) {
  struct Case {
    bool verbose;
    const char* sid;
    size_t lookups;  // for two objects with the same trustee
    size_t logLines;
  };
  const Case cases[] = {
      {false, "S-1-5-18", 1, 1},  // named locally: asked once
      {true, "S-1-5-18", 1, 1},
      {false, "S-1-5-21-1-1-1-1000", 3, 1},  // named by fs02
      {true, "S-1-5-21-1-1-1-1000", 6, 5},   // asked again, logged again
      {false, "S-1-5-21-1-1-1-9", 9, 1},     // named by nobody
      {true, "S-1-5-21-1-1-1-9", 18, 17},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.sid) + (c.verbose ? " /v" : ""));
    test::freshRun();
    ASSERT_TRUE(openLog("log"));
    appState.verbose = c.verbose;
    std::strcpy(appState.serverNames[0], "fs01");
    std::strcpy(appState.serverNames[1], "fs02");
    fake::script().accounts["|S-1-5-18"] = "SYSTEM";
    fake::script().accounts["fs02|S-1-5-21-1-1-1-1000"] = "jdoe";
    const std::string first = accountName(sid(c.sid));
    EXPECT_EQ(first, accountName(sid(c.sid)));
    EXPECT_EQ(c.lookups, fake::record().lookups.size());
    const std::string log = fake::file("log");
    EXPECT_EQ(c.logLines,
              static_cast<size_t>(std::count(log.begin(), log.end(), '\n')));
  }
}

TEST_F(AccountTest, InvalidIdentifierIsLoggedWithoutVerbose) {
  ASSERT_TRUE(openLog("log"));
  stampTime();
  std::vector<uint8_t> bad = test::sidBytes("S-1-5-18");
  bad[0] = 2;
  EXPECT_EQ("", accountName(reinterpret_cast<platform::Sid*>(bad.data())));
  EXPECT_EQ("", accountName(nullptr));
  EXPECT_TRUE(fake::record().lookups.empty());
  const std::string line = "2009-05-11 09:15:42\tuser_psid () failed: 1337\n";
  EXPECT_EQ("Logfile created by VESK:\n" + line + line, fake::file("log"));
}

}  // namespace
}  // namespace vesk
