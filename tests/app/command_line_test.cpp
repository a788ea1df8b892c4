#include "app/command_line.h"

#include <cstdio>
#include <vector>

#include "support/descriptor_builder.h"
#include "support/fixture.h"

namespace vesk {
namespace {

const char kUsage[] =
    "VESK 1.00\n"
    "Usage:\n"
    "  vesk path /readacl [/s] [/o] [/f] [/l:logfile] [> output-file]\n"
    "            /readacl ... reads ACL's from path\n"
    "            /s ......... scans subdirectories in path\n"
    "            /o ... ..... shows owner of object\n"
    "            /f ... ..... shows also file ACL's\n"
    "  vesk /show ........... shows NTFS Terms\n";

const char kNoAction[] =
    "VESK 1.00|No or wrong Action (use /readacl or /grantacl)!|I";

class CommandLineTest : public test::CleanRun {
 protected:
  int run(std::vector<const char*> args) {
    args.insert(args.begin(), "vesk");
    return runCommandLine(static_cast<int>(args.size()), args.data());
  }
  // The options of a fresh run whose path is followed by args.
  bool parse(const std::vector<const char*>& args) {
    test::freshRun();
    std::vector<const char*> argv = {"vesk", "D:\\Data"};
    argv.insert(argv.end(), args.begin(), args.end());
    return parseOptions(static_cast<int>(argv.size()), argv.data());
  }
};

TEST_F(CommandLineTest, UsageText) {
  const std::vector<std::vector<const char*>> runs = {
      {}, {"/?"}, {"/h"}, {"/H"}, {"D:\\Data"}, {"/readacl"}};
  for (const auto& args : runs) {
    SCOPED_TRACE(args.empty() ? "(none)" : args[0]);
    fake::reset();
    EXPECT_EQ(0, run(args));
    EXPECT_EQ(kUsage, fake::output());
    EXPECT_TRUE(fake::record().alerts.empty());
  }
}

TEST_F(CommandLineTest, LoneShowListsTheTerms) {
  EXPECT_EQ(0, run({"/SHOW"}));
  const std::string out = fake::output();
  EXPECT_EQ(0u, out.find("VESK 1.00\n\n\n[Global Flags]\n<inherited>\n"));
  EXPECT_EQ("SE_SELF_RELATIVE\t32768\n", out.substr(out.size() - 23));
}

struct OptionCase {
  std::vector<const char*> args;  // after the path
  int action;
  bool recurse;
  int maxDepth;
  bool showOwner;
  bool showFiles;
  bool verbose;
};

TEST_F(CommandLineTest, Options) {
  const OptionCase cases[] = {
      {{"/readacl"}, 1, false, 0, false, false, false},
      {{"/READACL"}, 1, false, 0, false, false, false},
      {{"/grantacl"}, 2, false, 0, false, false, false},
      {{"/readacl", "/grantacl"}, 2, false, 0, false, false, false},
      {{"/grantacl", "/ReadAcl"}, 1, false, 0, false, false, false},
      {{"/readacl/o"}, 0, false, 0, true, false, false},
      {{"/s:3/o"}, 0, true, 3, true, false, false},
      {{"/show"}, 0, true, 0, false, false, false},
      {{"/show/s:2"}, 0, true, 0, false, false, false},
      {{"/s:-2"}, 0, true, -2, false, false, false},
      {{"/s:+4"}, 0, true, 4, false, false, false},
      {{"/s: 7"}, 0, true, 7, false, false, false},
      {{"/s:x"}, 0, true, 0, false, false, false},
      {{"/s:5", "/s"}, 0, true, 5, false, false, false},
      {{"/s:5", "/s:1"}, 0, true, 1, false, false, false},
      {{"x/s:12y"}, 0, true, 12, false, false, false},
      {{"/S", "/O", "/F", "/V"}, 0, false, 0, false, false, false},
      {{"/f", "/v"}, 0, false, 0, false, true, true},
      {{"/ofv"}, 0, false, 0, true, false, false},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.args[0]);
    ASSERT_TRUE(parse(c.args));
    EXPECT_EQ(c.action, appState.action);
    EXPECT_EQ(c.recurse, appState.recurse);
    EXPECT_EQ(c.maxDepth, appState.maxDepth);
    EXPECT_EQ(c.showOwner, appState.showOwner);
    EXPECT_EQ(c.showFiles, appState.showFiles);
    EXPECT_EQ(c.verbose, appState.verbose);
  }
}

struct ViewCase {
  std::vector<const char*> args;  // after the path
  bool explicitOnly;
  bool flat;
  std::vector<std::string> who;
  bool recurse;
  bool showOwner;
  bool showFiles;
};

TEST_F(CommandLineTest, ViewsAreWholeArgumentsAndTheirTextStillCounts) {
  const ViewCase cases[] = {
      {{"/explicit"}, true, false, {}, false, false, false},
      {{"/EXPLICIT", "/Tsv"}, true, true, {}, false, false, false},
      {{"/explicit/o"}, false, false, {}, false, true, false},
      {{"x/tsv"}, false, false, {}, false, false, false},
      {{"/tsvx"}, false, false, {}, false, false, false},
      {{"/flat"}, false, false, {}, false, false, true},
      {{"/who:Alice"}, false, false, {"Alice"}, false, false, false},
      {{"/WHO:bob", "/who:S-1-5-18"},
       false,
       false,
       {"bob", "S-1-5-18"},
       false,
       false,
       false},
      {{"/who:"}, false, false, {""}, false, false, false},
      {{"x/who:a"}, false, false, {}, false, false, false},
      {{"/who:HR/sales/o"}, false, false, {"HR/sales/o"}, true, true, false},
      {{"/who:a", "/explicit", "/tsv"}, true, true, {"a"}, false, false, false},
  };
  for (const ViewCase& c : cases) {
    SCOPED_TRACE(c.args[0]);
    ASSERT_TRUE(parse(c.args));
    EXPECT_EQ(c.explicitOnly, viewState.explicitOnly);
    EXPECT_EQ(c.flat, viewState.flat);
    EXPECT_EQ(c.who, viewState.who);
    EXPECT_EQ(c.recurse, appState.recurse);
    EXPECT_EQ(c.showOwner, appState.showOwner);
    EXPECT_EQ(c.showFiles, appState.showFiles);
    EXPECT_EQ(0, appState.action);
  }
  test::freshRun();
  EXPECT_FALSE(viewState.explicitOnly || viewState.flat);
  EXPECT_TRUE(viewState.who.empty());
}

// /names: is a whole argument in any letter case, as the views are, and
// the option texts inside it still count.
TEST_F(CommandLineTest, NamesIsAWholeArgument) {
  struct Case {
    std::vector<const char*> args;
    std::string from;
    bool recurse;
    bool showOwner;
  } cases[] = {
      {{"/names:/srv/disk.E01@2"}, "/srv/disk.E01@2", true, false},
      {{"/NAMES:hives"}, "hives", false, false},
      {{"/names:"}, "", false, false},
      {{"x/names:hives"}, "", false, false},
      {{"/names:a", "/names:b/o"}, "b/o", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    ASSERT_TRUE(parse(c.args));
    EXPECT_EQ(c.from, viewState.namesFrom);
    EXPECT_EQ(c.recurse, appState.recurse);
    EXPECT_EQ(c.showOwner, appState.showOwner);
  }
}

// The evidence's names are asked for once, when the first descriptor has
// been read (an image the path leads into is open then), with the place
// /names: gives; each hive that could not be read is one log line.
TEST_F(CommandLineTest, EvidenceNamesAreReadOnceAfterTheFirstDescriptor) {
  struct Case {
    std::vector<const char*> args;
    std::string asked;
  } cases[] = {
      {{"D:\\Data", "/readacl", "/s", "/l:log"}, "|2"},
      {{"D:\\Data", "/readacl", "/s", "/l:log", "/Names:E:\\case"},
       "E:\\case|2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    test::freshRun();
    fake::Script& script = fake::script();
    script.directories["D:\\Data"] = {{"/v/sub", true, false}};
    script.objects["D:\\Data"].status = 5;
    script.objects["/v/sub"].descriptor = test::buildDescriptor(
        {0x0004, "S-1-5-32-544", "", true, {{0, 0, 1, "S-1-1-0"}}});
    script.hiveFailures = {{"E:\\case\\SAM", 1009}, {"E:\\case\\SOFTWARE", 2}};
    EXPECT_EQ(0, run(c.args));
    EXPECT_EQ(std::vector<std::string>{c.asked}, fake::record().namesRead);
    const std::string log = fake::file("log");
    EXPECT_NE(std::string::npos,
              log.find("\tAccount names not read from: E:\\case\\SAM: 1009\n"
                       "2009-05-11 09:15:42\tAccount names not read from: "
                       "E:\\case\\SOFTWARE: 2\n"))
        << log;
  }
}

TEST_F(CommandLineTest, ViewsAloneAreNoAction) {
  EXPECT_EQ(2, run({"D:\\Data", "/tsv", "/explicit", "/who:x"}));
  EXPECT_EQ(kNoAction, fake::record().alerts.at(0));
}

// Numbers beyond int come out as the C library's own sscanf makes them of
// the same text (glibc: the long value cut to int, so -1 for 2^64 + 1).
TEST_F(CommandLineTest, DepthBeyondIntIsWhatTheCLibraryReads) {
  const char* texts[] = {"/s:18446744073709551617", "/s:2147483648",
                         "/s:-2147483649", "/s:4294967297", "/s:+99999999999"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    int expected = 12345;
    ASSERT_EQ(1, std::sscanf(text, "/s:%d", &expected));
    ASSERT_TRUE(parse({text}));
    EXPECT_EQ(expected, appState.maxDepth);
  }
}

TEST_F(CommandLineTest, LogNameIsTheRestOfTheArgumentAndCountsAsOptions) {
  EXPECT_EQ(2, run({"D:\\Data", "x/l:C:\\x/old.log"}));
  EXPECT_TRUE(appState.showOwner);
  EXPECT_EQ("Logfile created by VESK:\n", fake::file("C:\\x/old.log"));
}

TEST_F(CommandLineTest, NoActionAlertsAndExits2) {
  EXPECT_EQ(2, run({"D:\\Data", "/o"}));
  ASSERT_EQ(1u, fake::record().alerts.size());
  EXPECT_EQ(kNoAction, fake::record().alerts[0]);
  EXPECT_EQ("", fake::output());
}

TEST_F(CommandLineTest, UncreatableLogExits100AtOnce) {
  fake::script().uncreatable.insert("bad");
  EXPECT_EQ(100, run({"D:\\Data", "/l:bad", "/readacl"}));
  ASSERT_EQ(1u, fake::record().alerts.size());
  EXPECT_EQ("VESK 1.00|Could not open Logfile bad !|E",
            fake::record().alerts[0]);
  EXPECT_EQ(0, appState.action);  // later arguments were not looked at
  EXPECT_EQ(0, fake::record().openEnums);
}

TEST_F(CommandLineTest, GrantTouchesNothing) {
  EXPECT_EQ(0, run({"D:\\Data", "/grantacl", "/s", "/l:log"}));
  EXPECT_EQ("", fake::output());
  EXPECT_EQ("Logfile created by VESK:\n", fake::file("log"));
  EXPECT_EQ(0, fake::record().openEnums);
  EXPECT_TRUE(fake::record().searched.empty());
}

TEST_F(CommandLineTest, FilesWithoutWalkMeansOneLevel) {
  fake::script().directories["D:\\Data"] = {{"/v/sub", true, false},
                                            {"/v/file", false, false}};
  fake::script().directories["/v/sub"] = {{"/v/sub/deep", true, false}};
  EXPECT_EQ(0, run({"D:\\Data", "/readacl", "/f"}));
  EXPECT_TRUE(appState.recurse);
  EXPECT_EQ(1, appState.maxDepth);
  EXPECT_EQ(std::vector<std::string>{"D:\\Data"}, fake::record().searched);
  EXPECT_EQ(1, fake::record().openEnums);
  EXPECT_EQ(1, fake::record().closedEnums);
}

TEST_F(CommandLineTest, ReadWithoutWalkReportsThePathOnly) {
  fake::script().objects["D:\\Data"].descriptor = test::buildDescriptor(
      {0x0004, "S-1-5-32-544", "", true, {{0, 0, 0x001F01FF, "S-1-1-0"}}});
  fake::script().accounts["|S-1-1-0"] = "Everyone";
  EXPECT_EQ(0, run({"D:\\Data", "/readacl"}));
  EXPECT_EQ("D:\\Data\t\n\tEveryone\tA\tFC\tNP\n\n", fake::output());
  EXPECT_TRUE(fake::record().searched.empty());
}

// A run over a tree reads each object once, the path first and then the
// tree in walk order, takes one time stamp per object only for a log, and
// hands the platform the typed path alone as a possible image.
TEST_F(CommandLineTest, ARunReadsEachObjectOnceAndStampsItForTheLog) {
  const std::vector<std::string> walked = {
      "D:\\Data",    "/v/sub",    "/v/sub/deep", "/v/sub/deep/x",
      "/v/sub/note", "/v/locked", "/v/file"};
  struct Case {
    std::vector<const char*> args;
    int stamps;
  };
  const Case cases[] = {
      {{"D:\\Data", "/readacl", "/s", "/f"}, 0},
      {{"D:\\Data", "/readacl", "/s", "/f", "/v", "/o"}, 0},
      {{"D:\\Data", "/l:log", "/readacl", "/s", "/f"}, 7},
      {{"D:\\Data", "/readacl", "/s", "/f", "/v", "/o", "/l:log"}, 7},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const char* arg : c.args) line += std::string(arg) + " ";
    SCOPED_TRACE(line);
    test::freshRun();
    fake::Script& script = fake::script();
    script.directories["D:\\Data"] = {{"/v/.", true, true},
                                      {"/v/..", true, true},
                                      {"/v/sub", true, false},
                                      {"/v/locked", true, false},
                                      {"/v/file", false, false}};
    script.directories["/v/sub"] = {{"/v/sub/deep", true, false},
                                    {"/v/sub/note", false, false}};
    script.directories["/v/sub/deep"] = {{"/v/sub/deep/x", false, false}};
    for (const std::string& path : walked)
      script.objects[path].descriptor = test::buildDescriptor(
          {0x0004, "S-1-5-32-544", "", true, {{0, 0, 1, "S-1-1-0"}}});
    script.objects["/v/locked"].status = 5;
    script.secondsPerReading = 1;
    EXPECT_EQ(0, run(c.args));
    EXPECT_EQ(walked, fake::record().reads);
    EXPECT_EQ(c.stamps, fake::record().clockReadings);
    // Only the typed path may lead into a disk image, examined once.
    EXPECT_EQ(std::vector<std::string>{"D:\\Data"}, fake::record().startPaths);
  }
}

TEST_F(CommandLineTest, ProgressOnlyWhileWalking) {
  fake::script().objects["D:\\Data"].descriptor = test::buildDescriptor(
      {0x0004, "S-1-5-32-544", "", true, {{0, 0, 0x001F01FF, "S-1-1-0"}}});
  fake::script().errorIsTerminal = true;
  EXPECT_EQ(0, run({"D:\\Data", "/readacl"}));
  EXPECT_EQ("", fake::errors());
  EXPECT_EQ(0, run({"D:\\Data", "/readacl", "/s"}));
  EXPECT_EQ(0u, fake::errors().find("\r1 objects, 0 failed  D:\\Data"));
}

// A newcomer without /l: learns on the terminal that something was skipped;
// elsewhere standard error stays as it was.
TEST_F(CommandLineTest, FailuresAreSummedUpOnATerminalOnly) {
  for (bool terminal : {true, false}) {
    SCOPED_TRACE(terminal);
    test::freshRun();
    fake::script().errorIsTerminal = terminal;
    fake::script().outputIsTerminal = terminal;
    EXPECT_EQ(0, run({"D:\\Missing", "/readacl"}));
    EXPECT_EQ(terminal ? "vesk: 1 of 1 object could not be read; /l:FILE logs "
                         "why\n"
                       : "",
              fake::errors());
    EXPECT_EQ("", fake::output());
  }
}

TEST_F(CommandLineTest, LostOutputIsAFailure) {
  fake::script().stdoutFails = true;
  EXPECT_EQ(1, run({"/?"}));
  EXPECT_EQ("vesk: error writing standard output\n", fake::errors());
}

}  // namespace
}  // namespace vesk
