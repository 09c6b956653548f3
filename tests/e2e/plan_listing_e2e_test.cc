// Help and version, and the plan listing: per-unit lines (-l) and the plan file (-l=FILE).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "fixtures.h"

namespace e2e {
namespace {

TEST(Help, AnswersTheUsualSpellings) {
  const ToolRun usage = RunQuorvel({"-?"});
  for (const char* spelling : {"-h", "-H", "--help", "-help"}) {
    const ToolRun run = RunQuorvel({spelling});
    EXPECT_EQ(run.output, usage.output) << spelling;
    EXPECT_EQ(run.status, 0) << spelling;
  }
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--version"}, {"-x", "--version", "a", "b", "c"}}) {
    const ToolRun run = RunQuorvel(args);
    EXPECT_EQ(run.output, kBanner.substr(0, kBanner.size() - 1));
    EXPECT_EQ(run.status, 0);
  }
}

TEST_F(SmallTreeTest, ListsEachUnitBeforeCopying) {
  const std::string plan = temp_.str() + "/plan.tsv";
  const ToolRun run = RunQuorvel({"-b", "-u=12288", "-t=4kb", "-l=" + plan, src(), dest()});
  EXPECT_EQ(run.output.substr(run.output.find("* Best fit")),
            "* Best fit distributing to units of 12,288 bytes\n"
            "Unit 01: 2 files, 12,288 bytes, 100.0% full\n"
            "Unit 02: 1 file, 8,192 bytes, 66.7% full\n"
            "* Source folder will be redistributed to 2 units\n"
            "* Making folders and copying files for unit 1\n"
            "Copying to unit 1, file 1 of 3\r"
            "Copying to unit 1, file 2 of 3\r"
            "* Making folders and copying files for unit 2\n"
            "Copying to unit 2, file 3 of 3\r"
            "* Successfully redistributed files              \n" +
                Summary(3, 1, 2, "12,288"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(plan), "1\t6000\t" + src() + "/a.txt\n" +          //
                                "1\t3000\t" + src() + "/sub/c.txt\n" +  //
                                "2\t6000\t" + src() + "/sub/b.txt\n");

  // The plan names exactly the files that were copied, each in its unit.
  Files planned;
  std::istringstream lines(ReadFile(plan));
  for (std::string unit, size, path; std::getline(lines, unit, '\t') &&
                                     std::getline(lines, size, '\t') &&
                                     std::getline(lines, path);) {
    planned.push_back("Unit 0" + unit + path);
    EXPECT_EQ(fs::file_size(fs::path(dest()) / planned.back()), std::stoull(size));
  }
  std::sort(planned.begin(), planned.end());
  EXPECT_EQ(planned, ListFiles(dest()));
}

TEST_F(SmallTreeTest, ListsUnitsOfAScanOnlyRun) {
  const ToolRun run = RunQuorvel({"-L", "-u=4096", "-i", src()});
  EXPECT_EQ(run.output.substr(run.output.find("* Seq")),
            "* Sequentially distributing to units of 4,096 bytes\n"
            "Unit 01: 1 file, 3,000 bytes, 73.2% full\n"
            "* Source folder will be redistributed to 1 units\n" +
                Summary(3, 1, 1, "4,096") +
                "Ignored 2 files which were larger than the unit size\n");
  EXPECT_EQ(run.status, 0);
}

TEST_F(SmallTreeTest, NeverOverwritesOrLeavesAPlanFileBehind) {
  const std::string plan = temp_.str() + "/plan.tsv";
  WriteFile(plan, 7);
  ToolRun run = RunQuorvel({"-l=" + plan, src()});
  EXPECT_EQ(run.output, kBanner + "Plan file \"" + plan + "\" already exists.\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(fs::file_size(plan), 7u);

  run = RunQuorvel({"-l=" + temp_.str() + "/missing/plan.tsv", src()});
  EXPECT_EQ(run.output,
            kBanner + "Couldn't create plan file \"" + temp_.str() + "/missing/plan.tsv\".\n");
  EXPECT_EQ(run.status, 1);

  // A run that fails before its plan is complete removes the file it created.
  fs::remove(plan);
  run = RunQuorvel({"-u=4096", "-l=" + plan, src()});
  EXPECT_EQ(run.status, 6);
  EXPECT_FALSE(fs::exists(plan));
}

}  // namespace
}  // namespace e2e
