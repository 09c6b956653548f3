#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
  int status;
  std::string output;
  Job job;
};

Parsed Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "quorvel");
  Parsed parsed{0, "", Job{}};
  SetJobDefaults(&parsed.job);
  testing::internal::CaptureStdout();
  parsed.status = ParseCommandLine(&parsed.job, static_cast<int>(args.size()), args.data());
  parsed.output = testing::internal::GetCapturedStdout();
  return parsed;
}

TEST(ParseCommandLine, StartsFromTheDefaults) {
  const Parsed parsed = Parse({});
  EXPECT_EQ(parsed.status, 0);
  EXPECT_EQ(parsed.job.fitMode, 1);
  EXPECT_EQ(parsed.job.unitSize, 734003200u);
  EXPECT_EQ(parsed.job.clusterSize, 0u);
  EXPECT_FALSE(parsed.job.ignoreOversize);
  EXPECT_EQ(parsed.job.source, "");
  EXPECT_EQ(parsed.job.destination, "");
}

TEST(ParseCommandLine, AppliesSwitchesLeftToRight) {
  const struct {
    std::vector<const char*> args;
    int fitMode;
    std::uint64_t unitSize;
    std::uint64_t clusterSize;
    bool ignoreOversize;
  } cases[] = {
      {{"-b"}, 0, 734003200, 0, false},
      {{"-B"}, 0, 734003200, 0, false},
      {{"-best"}, 0, 734003200, 0, false},
      {{"-b", "-s"}, 1, 734003200, 0, false},
      {{"-i"}, 1, 734003200, 0, true},
      {{"-?"}, 1, 734003200, 0, false},
      {{"-h"}, 1, 734003200, 0, false},
      {{"-H"}, 1, 734003200, 0, false},
      {{"--help"}, 1, 734003200, 0, false},
      {{"-U=1MB"}, 1, 1048576, 0, false},
      {{"-u4096"}, 1, 4096, 0, false},
      {{"-u=4kb"}, 1, 4096, 0, false},
      {{"-u=dvd"}, 1, 4508876800, 0, false},
      {{"-u=700mb", "-u=cd"}, 1, 734003200, 0, false},
      {{"-t=4kb"}, 1, 734003200, 4096, false},
      {{"-T0"}, 1, 734003200, 0, false},
      {{"-t=-1"}, 1, 734003200, UINT64_MAX, false},
      {{"-t=abc"}, 1, 734003200, 0, false},
  };
  for (const auto& c : cases) {
    const Parsed parsed = Parse(c.args);
    EXPECT_EQ(parsed.status, 0) << c.args[0];
    EXPECT_EQ(parsed.output, "") << c.args[0];
    EXPECT_EQ(parsed.job.fitMode, c.fitMode) << c.args[0];
    EXPECT_EQ(parsed.job.unitSize, c.unitSize) << c.args[0];
    EXPECT_EQ(parsed.job.clusterSize, c.clusterSize) << c.args[0];
    EXPECT_EQ(parsed.job.ignoreOversize, c.ignoreOversize) << c.args[0];
  }
}

TEST(ParseCommandLine, ListsThePlanOnlyWhenAsked) {
  const struct {
    std::vector<const char*> args;
    bool listUnits;
    const char* planPath;
  } cases[] = {
      {{"src"}, false, ""},    {{"-l"}, true, ""},
      {{"-L"}, true, ""},      {{"-l=plan.tsv"}, true, "plan.tsv"},
      {{"-l==x"}, true, "=x"},
  };
  for (const auto& c : cases) {
    const Parsed parsed = Parse(c.args);
    EXPECT_EQ(parsed.status, 0);
    EXPECT_EQ(parsed.job.listUnits, c.listUnits);
    EXPECT_EQ(parsed.job.planPath, c.planPath);
  }
}

TEST(ParseCommandLine, TakesFolderNamesInOrder) {
  const struct {
    std::vector<const char*> args;
    const char* source;
    const char* destination;
  } cases[] = {
      {{"src"}, "src", ""},
      {{"src", "dest"}, "src", "dest"},
      {{"-b", "src", "-i", "dest"}, "src", "dest"},
      {{"", "src"}, "src", ""},
      {{"src", "", "dest"}, "src", "dest"},
      {{"/home/me/photos"}, "/home/me/photos", ""},
  };
  for (const auto& c : cases) {
    const Parsed parsed = Parse(c.args);
    EXPECT_EQ(parsed.status, 0);
    EXPECT_EQ(parsed.job.source, c.source);
    EXPECT_EQ(parsed.job.destination, c.destination);
  }
}

TEST(ParseCommandLine, RefusesTheFirstBadArgumentAndReadsNoFurther) {
  const std::string unknown = "\".\n\n  Use -? for help.\n";
  const std::string tooSmall = "Invalid unit size. Must be at least 4096 bytes\n";
  const std::string threeFolders = "Already have two folder names.\n";
  const struct {
    std::vector<const char*> args;
    std::string output;
  } cases[] = {
      {{"-x"}, "Don't know what to do with \"-x" + unknown},
      {{"-"}, "Don't know what to do with \"-" + unknown},
      {{"--helpme"}, "Don't know what to do with \"--helpme" + unknown},
      {{"--version"}, "Don't know what to do with \"--version" + unknown},
      {{"-lx"}, "Don't know what to do with \"-lx" + unknown},
      {{"-l="}, "Don't know what to do with \"-l=" + unknown},
      {{"-lplan.tsv"}, "Don't know what to do with \"-lplan.tsv" + unknown},
      {{"-\xe9"}, "Don't know what to do with \"-\xe9" + unknown},
      {{"-u=4095"}, tooSmall},
      {{"-u"}, tooSmall},
      {{"-u=-5"}, tooSmall},
      {{"-u=-1e30"}, tooSmall},
      {{"-u=1", "-u=700mb"}, tooSmall},
      {{"-u=1", "-x"}, tooSmall},
      {{"one", "two", "three"}, threeFolders},
      {{"one", "two", ""}, threeFolders},
      {{"one", "two", "three", "-x"}, threeFolders},
  };
  for (const auto& c : cases) {
    const Parsed parsed = Parse(c.args);
    EXPECT_EQ(parsed.status, 1) << c.args[0];
    EXPECT_EQ(parsed.output, c.output) << c.args[0];
  }
}

}  // namespace
