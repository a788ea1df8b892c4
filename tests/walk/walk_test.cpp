#include "walk/walk.h"

#include <algorithm>

#include "log/log.h"
#include "support/descriptor_builder.h"
#include "support/fixture.h"
#include "walk/progress.h"

namespace vesk {
namespace {

// A tree three levels deep with one file in every directory:
//   R/d1/d2/d3, R/f0, R/d1/f1, R/d1/d2/f2, R/d1/d2/d3/f3, and R/e (empty).
class WalkTest : public test::CleanRun {
 protected:
  void SetUp() override {
    CleanRun::SetUp();
    fake::script().accounts["|S-1-1-0"] = "Everyone";
    dir("R", {{"R/.", true, true},
              {"R/..", true, true},
              {"R/f0", false, false},
              {"R/d1", true, false},
              {"R/e", true, false}});
    dir("R/d1", {{"R/d1/.", true, true},
                 {"R/d1/..", true, true},
                 {"R/d1/d2", true, false},
                 {"R/d1/f1", false, false}});
    dir("R/d1/d2", {{"R/d1/d2/f2", false, false}, {"R/d1/d2/d3", true, false}});
    dir("R/d1/d2/d3", {{"R/d1/d2/d3/f3", false, false}});
    dir("R/e", {{"R/e/.", true, true}, {"R/e/..", true, true}});
  }

  void dir(const std::string& path, std::vector<platform::FindEntry> entries) {
    fake::script().directories[path] = entries;
  }

  // The paths of the printed blocks, in order.
  std::string walk(int maxDepth, bool files) {
    for (const char* path : {"R/f0", "R/d1", "R/e", "R/d1/d2", "R/d1/f1",
                             "R/d1/d2/f2", "R/d1/d2/d3", "R/d1/d2/d3/f3"})
      fake::script().objects[path].descriptor =
          test::buildDescriptor({0x0004, "", "", true, {{0, 0, 1, "S-1-1-0"}}});
    appState.maxDepth = maxDepth;
    appState.showFiles = files;
    walkDirectory("R", 0);
    std::string out = fake::output(), paths;
    for (size_t at = 0; at < out.size();) {
      size_t tab = out.find('\t', at);
      paths += out.substr(at, tab - at) + " ";
      at = out.find("\n\n", tab) + 2;
    }
    return paths;
  }

  // The paths whose descriptor was read, in order.
  std::string reads() {
    std::string paths;
    for (const std::string& path : fake::record().reads) paths += path + " ";
    return paths;
  }
};

TEST_F(WalkTest, DepthAndFiles) {
  struct Case {
    int maxDepth;
    bool files;
    const char* printed;
  };
  const Case cases[] = {
      {0, false, "R/d1 R/d1/d2 R/d1/d2/d3 R/e "},
      {-2, false, "R/d1 R/d1/d2 R/d1/d2/d3 R/e "},
      {1, false, "R/d1 R/e "},
      {2, false, "R/d1 R/d1/d2 R/e "},
      {1, true, "R/f0 R/d1 R/e "},
      {2, true, "R/f0 R/d1 R/d1/d2 R/d1/f1 R/e "},
      {0, true,
       "R/f0 R/d1 R/d1/d2 R/d1/d2/f2 R/d1/d2/d3 R/d1/d2/d3/f3 R/d1/f1 R/e "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printed);
    SetUp();
    EXPECT_EQ(c.printed, walk(c.maxDepth, c.files));
    // Every object printed was read once, in walk order, and nothing else.
    EXPECT_EQ(c.printed, reads());
    EXPECT_EQ(0, fake::record().openFinds);
    EXPECT_EQ(0, fake::record().liveBlocks);
  }
}

TEST_F(WalkTest, GoesOnPastAndIntoDirectoriesWhoseBlockFailed) {
  fake::script().objects["R/d1"].status = 5;
  walk(0, false);
  EXPECT_EQ(
      "R/d1/d2\t\n\tEveryone\tA\tLRD\tNP\n\n"
      "R/d1/d2/d3\t\n\tEveryone\tA\tLRD\tNP\n\n"
      "R/e\t\n\tEveryone\tA\tLRD\tNP\n\n",
      fake::output());
  EXPECT_EQ("R/d1 R/d1/d2 R/d1/d2/d3 R/e ", reads());
}

TEST_F(WalkTest, StopsWhenOutputFails) {
  fake::script().stdoutFails = true;
  walk(0, true);
  EXPECT_EQ(std::vector<std::string>{"R"}, fake::record().searched);
  EXPECT_EQ(0, fake::record().openFinds);
}

// The log without its stamps.
std::string unstamped(const std::string& log) {
  std::string out;
  for (size_t at = 0; at < log.size();) {
    size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    const size_t tab = line.find('\t');
    out += (tab == std::string::npos ? line : line.substr(tab + 1)) + "\n";
    at = end + 1;
  }
  return out;
}

TEST_F(WalkTest, DirectoryThatCannotBeListedIsLoggedAfterItsGroup) {
  ASSERT_TRUE(openLog("log"));
  fake::script().listErrors["R/d1"] = 5;
  const std::string printed = walk(0, false);
  // Its block, then nothing below it; the empty R/e says nothing more.
  EXPECT_EQ("R/d1 R/e ", printed);
  EXPECT_EQ(
      "Logfile created by VESK:\n"
      "\n"
      "GetSecurityDescriptorDacl () successfully for: R/d1\n"
      "pDACL present\n"
      "GetExplicitEntriesFromAcl () read 1 Entries from DACL\n"
      "FindFirstFile () failed for: R/d1\n"
      "FindFirstFile () error: 5\n"
      "\n"
      "GetSecurityDescriptorDacl () successfully for: R/e\n"
      "pDACL present\n"
      "GetExplicitEntriesFromAcl () read 1 Entries from DACL\n",
      unstamped(fake::file("log")));
  EXPECT_EQ(0, fake::record().openFinds);
}

TEST_F(WalkTest, ListingFailuresCountAsFailedOncePerDirectory) {
  fake::script().errorIsTerminal = true;
  fake::script().listErrors["R/d1"] = 5;  // its block is fine
  fake::script().listErrors["R/e"] = 5;
  fake::script().objects["R/e"].status = 5;  // its block failed already
  startProgress(true);
  walk(0, false);
  endProgress();
  EXPECT_EQ(2u, progressState.done);
  EXPECT_EQ(2u, progressState.failed);
}

TEST_F(WalkTest, LinkBackUpTheBranchIsReportedButNotEntered) {
  ASSERT_TRUE(openLog("log"));
  auto& ids = fake::script().identities;
  ids["R"] = {1, 10};
  ids["R/d1"] = {1, 11};
  ids["R/d1/d2"] = {1, 12};
  ids["R/d1/d2/d3"] = {1, 10};  // a junction to R
  ids["R/e"] = {2, 11};         // the same index on another volume
  EXPECT_EQ("R/d1 R/d1/d2 R/d1/d2/d3 R/e ", walk(0, false));
  EXPECT_EQ((std::vector<std::string>{"R", "R/d1", "R/d1/d2", "R/e"}),
            fake::record().searched);
  const std::string log = unstamped(fake::file("log"));
  EXPECT_NE(std::string::npos,
            log.find("read 1 Entries from DACL\n"
                     "Directory already entered above, not entered again: "
                     "R/d1/d2/d3\n"))
      << log;
}

TEST_F(WalkTest, SameDirectoryOnAnotherBranchIsEntered) {
  auto& ids = fake::script().identities;
  ids["R"] = {1, 10};
  ids["R/d1"] = {1, 11};
  ids["R/e"] = {1, 11};  // R/d1 again, but not above R/e
  walk(0, false);
  EXPECT_EQ(
      (std::vector<std::string>{"R", "R/d1", "R/d1/d2", "R/d1/d2/d3", "R/e"}),
      fake::record().searched);
}

// However deep the tree, one search is open at a time: each directory is
// listed and closed before anything below it is entered.
TEST_F(WalkTest, HoldsOneSearchWhateverTheDepth) {
  std::string path = "R/e";
  for (int level = 0; level < 200; ++level) {
    const std::string below = path + "/d";
    dir(path, {{path + "/.", true, true}, {below, true, false}});
    path = below;
  }
  walk(0, false);
  // R, R/d1 to R/d1/d2/d3, R/e and the 200 below it, each once.
  EXPECT_EQ(205u, fake::record().searched.size());
  ASSERT_EQ(204u, fake::record().reads.size());
  EXPECT_EQ(path, fake::record().reads.back());
  EXPECT_EQ(1, fake::record().mostOpenFinds);
  EXPECT_EQ(0, fake::record().openFinds);
}

// A link to a directory has its block (the link's own) without /f and is not
// entered; a link to a file is a file.
TEST_F(WalkTest, LinksAreReportedAsTheyAreButNeverEntered) {
  platform::FindEntry toDir{"R/d1/up", true, false, true};
  platform::FindEntry toFile{"R/d1/f1link", false, false, true};
  for (bool files : {false, true}) {
    SCOPED_TRACE(files);
    SetUp();
    fake::script().directories["R/d1"].push_back(toDir);
    fake::script().directories["R/d1"].push_back(toFile);
    dir("R/d1/up", {{"R/d1/up/d1", true, false}});
    for (const char* path : {"R/d1/up", "R/d1/f1link"})
      fake::script().objects[path].descriptor =
          test::buildDescriptor({0x0004, "", "", true, {{0, 0, 1, "S-1-1-0"}}});
    const std::string printed = walk(0, files);
    EXPECT_EQ(files ? "R/f0 R/d1 R/d1/d2 R/d1/d2/f2 R/d1/d2/d3 R/d1/d2/d3/f3 "
                      "R/d1/f1 R/d1/up R/d1/f1link R/e "
                    : "R/d1 R/d1/d2 R/d1/d2/d3 R/d1/up R/e ",
              printed);
    const std::vector<std::string> links =
        files ? std::vector<std::string>{"R/d1/up", "R/d1/f1link"}
              : std::vector<std::string>{"R/d1/up"};
    EXPECT_EQ(links, fake::record().linksRead);
    const auto& searched = fake::record().searched;
    EXPECT_EQ(searched.end(),
              std::find(searched.begin(), searched.end(), "R/d1/up"));
  }
}

// A directory the walk cannot list for want of handles or memory is logged
// with the code, never passed off as empty; so is a listing cut short (a
// damaged index), after the entries read before the failure.
TEST_F(WalkTest, SearchFailuresOfTheWalksOwnAreLogged) {
  struct Case {
    uint32_t error;
    bool logged;
    bool cutShort;
  };
  const Case cases[] = {{platform::kErrorTooManyOpenFiles, true, false},
                        {platform::kErrorNotEnoughMemory, true, false},
                        {platform::kErrorNoMoreFiles, false, false},
                        {1117, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    SetUp();
    if (c.cutShort)
      fake::script().listCutShort["R/d1/d2"] = c.error;
    else
      fake::script().listErrors["R/d1/d2"] = c.error;
    ASSERT_TRUE(openLog("walk.log"));
    EXPECT_EQ(c.cutShort ? "R/d1 R/d1/d2 R/d1/d2/d3 R/e " : "R/d1 R/d1/d2 R/e ",
              walk(0, false));
    const std::string log = fake::file("walk.log");
    const std::string lines =
        "09:15:42\tFindFirstFile () failed for: R/d1/d2\n"
        "2009-05-11 09:15:42\tFindFirstFile () error: " +
        std::to_string(c.error) + "\n";
    EXPECT_EQ(c.logged, log.find(lines) != std::string::npos) << log;
  }
}

}  // namespace
}  // namespace vesk
