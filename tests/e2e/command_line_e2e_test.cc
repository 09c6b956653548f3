// The program's start: banner, usage, command-line errors and the folders it resolves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_tool.h"

namespace {
namespace fs = std::filesystem;
using e2e::kBanner;
using e2e::RunQuorvel;

const std::string kUsage =
    "Usage: quorvel [switches] {Source Folder} [Destination Folder]\n"
    "\n"
    "  -s           Fit the units sequentially (default).\n"
    "  -b           Fit the units using a \"best fit\" strategy.\n"
    "  -i           Ignore files that are larger than the unit size.\n"
    "  -u=unitsize  Select the unit size (default 700mb). You can suffix a\n"
    "               number with \"kb\", \"mb\" or \"gb\" to simplify them.\n"
    "  -t=cluster\tSet the target cluster size to use when fitting the units\n"
    "               (default is 0)\n"
    "\n"
    "Make sure that your destination folder does not contain any files because\n"
    "Quorvel will not overwrite any existing files, instead it will fail.\n"
    "\n"
    "Examples:\n"
    "  quorvel \"/home/me/my backups\" \"/home/me/to cut\" -b -u=650mb -t=4kb\n";

TEST(CommandLine, PrintsUsageWhenNoSourceIsGiven) {
  const std::vector<std::vector<std::string>> cases = {{}, {"-?"}, {"-b", "-u=dvd", "-i"}, {""}};
  for (const auto& args : cases) {
    const e2e::ToolRun run = RunQuorvel(args);
    EXPECT_EQ(run.output, kBanner + kUsage);
    EXPECT_EQ(run.status, 0);
  }
}

TEST(CommandLine, RefusesBadArgumentsWithStatusOne) {
  const std::string help = "\".\n\n  Use -? for help.\n";
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"-x"}, "Don't know what to do with \"-x" + help},
      {{"src", "-"}, "Don't know what to do with \"-" + help},
      {{"-u=4095", "src"}, "Invalid unit size. Must be at least 4096 bytes\n"},
      {{"-u=-5", "src"}, "Invalid unit size. Must be at least 4096 bytes\n"},
      {{"one", "two", "three"}, "Already have two folder names.\n"},
  };
  for (const auto& c : cases) {
    const e2e::ToolRun run = RunQuorvel(c.args);
    EXPECT_EQ(run.output, kBanner + c.message);
    EXPECT_EQ(run.status, 1);
  }
}

TEST(CommandLine, ResolvesFoldersAgainstTheCurrentDirectory) {
  e2e::TempDir temp;
  fs::create_directories(temp.path() / "photos" / "2004");
  const std::string root = temp.str();
  const struct {
    std::vector<std::string> args;
    std::string source;
  } cases[] = {
      {{"photos"}, root + "/photos"},
      {{"photos/"}, root + "/photos"},
      {{"./photos/2004/.."}, root + "/photos"},
      {{"photos//2004"}, root + "/photos/2004"},
      {{root + "/../" + temp.path().filename().string() + "/photos"}, root + "/photos"},
  };
  for (const auto& c : cases) {
    const e2e::ToolRun run = RunQuorvel(c.args, {.workingDir = temp.path()});
    EXPECT_EQ(run.output.substr(0, run.output.find("* Sequentially")),
              kBanner + "* Scan only - not creating units\n* Scanning \"" + c.source + "\"\n");
    EXPECT_EQ(run.status, 0);
  }
  const e2e::ToolRun run =
      RunQuorvel({"-u=4kb", "photos", "out/units/"}, {.workingDir = temp.path()});
  EXPECT_EQ(run.output, kBanner + "* Creating units in \"" + root + "/out/units\"\n" +
                            "* Scanning \"" + root + "/photos\"\n" +
                            "* Sequentially distributing to units of 4,096 bytes\n" +
                            "* Source folder will be redistributed to 1 units\n" +
                            "* Making folders and copying files for unit 1\n" +
                            "* Successfully redistributed files              \n" +
                            "\nRedistributed 0 files in 1 folders\n"
                            "           to 1 units of 4,096 bytes\n");
}

TEST(CommandLine, RefusesAFolderThatCannotBeResolved) {
  e2e::TempDir temp;
  const fs::path gone = temp.path() / "gone";
  fs::create_directory(gone);
  const e2e::RunOptions fromRemovedDir{.workingDir = gone, .removeWorkingDir = true};
  e2e::ToolRun run = RunQuorvel({"photos"}, fromRemovedDir);
  EXPECT_EQ(run.output, kBanner + "Invalid source folder \"photos\".\n");
  EXPECT_EQ(run.status, 1);

  fs::create_directory(gone);
  run = RunQuorvel({temp.str(), "units"}, fromRemovedDir);
  EXPECT_EQ(run.output, kBanner + "Invalid destination folder \"units\".\n");
  EXPECT_EQ(run.status, 1);
}

}  // namespace
