// The Windows program, run under Wine on the same trees as the Linux program: the same
// messages, plans and copies with Windows paths, and the cases only Windows has (drive letters,
// UNC paths, drive roots).
//
// What Wine can't show faithfully, and so is not tested here:
// - the manifest's UTF-8 code page: Wine takes its ANSI code page from the Unix locale, so the
//   wrapper runs it in a UTF-8 locale; the test below shows only that names pass through the
//   program unchanged, and that the manifest is embedded;
// - permission failures: Wine runs as the Unix user, without Windows access control;
// - Ctrl-C during a copy, and a source changed between scan and copy: Wine's console and
//   process model differ from Windows', and tracing the program under Wine stops Wine too;
// - links, FIFOs and sockets: Wine shows them as Windows never would (a FIFO as a file).
#include <string>
#include <vector>

#include "fixtures.h"

namespace e2e {
namespace {

// A Linux path as the Windows program sees it under Wine: on drive Z:, with backslashes.
std::string Win(const std::string& path) {
  std::string windows = "Z:" + path;
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return windows;
}

// What the Windows program printed, with the carriage returns that the console's text mode
// adds before each line feed taken away again.
ToolRun RunWindows(const std::vector<std::string>& args, RunOptions options = {}) {
  options.program = QUORVEL_WINDOWS_BINARY;
  ToolRun run = RunQuorvel(args, options);
  std::string output;
  for (std::size_t i = 0; i < run.output.size(); ++i) {
    if (run.output[i] == '\r' && i + 1 < run.output.size() && run.output[i + 1] == '\n') continue;
    output += run.output[i];
  }
  run.output = output;
  return run;
}

// Windows paths in an output written the Linux way. The usage example, which names other
// folders on each platform, is cut off.
std::string AsLinux(std::string output) {
  const std::size_t example = output.find("Examples:\n");
  if (example != std::string::npos) output.resize(example);
  std::string result;
  for (std::size_t i = 0; i < output.size(); ++i) {
    if (output.compare(i, 3, "Z:\\") == 0) {
      ++i;  // the drive letter and colon go, the backslash becomes the root
      continue;
    }
    result += output[i] == '\\' ? '/' : output[i];
  }
  return result;
}

std::string WithoutExample(const std::string& output) {
  return output.substr(0, output.find("Examples:\n"));
}

class WindowsTest : public RunTest {
 protected:
  void SetUp() override {
    WriteFile(Src("a.txt"), 6000);
    WriteFile(Src("sub/b.txt"), 6000);
    WriteFile(Src("sub/c.txt"), 3000);
    WriteFile(temp_.path() / "plain-file", 10);
  }
};

TEST_F(WindowsTest, PrintsWhatTheLinuxProgramPrints) {
  struct Case {
    std::vector<std::string> args;  // SRC, DEST, FILE and MISSING stand for this test's paths
    bool freshDestination;
  };
  const Case cases[] = {
      {{}, true},
      {{"-x"}, true},
      {{"-u=4095", "SRC"}, true},
      {{"one", "two", "three"}, true},
      {{"MISSING"}, true},
      {{"FILE"}, true},
      {{"SRC"}, true},
      {{"-b", "-l", "-u=10000", "SRC"}, true},
      {{"-u=5000", "SRC"}, true},
      {{"-u=5000", "-i", "-t=4kb", "SRC", "DEST"}, true},
      {{"SRC", "DEST", "-u=10000", "-l"}, true},
      {{"SRC", "DEST", "-u=10000"}, false},  // every target exists now
  };
  const std::string linuxDest = temp_.str() + "/dest-linux";
  const std::string before = temp_.str() + "/dest-before";
  for (const Case& c : cases) {
    std::vector<std::string> linuxArgs;
    std::vector<std::string> windowsArgs;
    std::string shown;
    for (const std::string& arg : c.args) {
      std::string path = arg;
      if (arg == "SRC") path = src();
      if (arg == "DEST") path = dest();
      if (arg == "FILE") path = temp_.str() + "/plain-file";
      if (arg == "MISSING") path = temp_.str() + "/missing";
      linuxArgs.push_back(path);
      windowsArgs.push_back(path == arg ? arg : Win(path));
      shown += arg + " ";
    }
    SCOPED_TRACE(shown);
    // Both programs start from the same destination: none, or what the last run left there.
    const auto prepare = [&] {
      fs::remove_all(dest());
      if (!c.freshDestination) fs::copy(before, dest(), fs::copy_options::recursive);
    };
    prepare();
    const ToolRun linux = RunQuorvel(linuxArgs);
    fs::remove_all(linuxDest);
    if (fs::exists(dest())) fs::rename(dest(), linuxDest);
    prepare();
    const ToolRun windows = RunWindows(windowsArgs);
    fs::remove_all(before);
    if (fs::exists(linuxDest)) fs::copy(linuxDest, before, fs::copy_options::recursive);

    EXPECT_EQ(AsLinux(windows.output), WithoutExample(linux.output));
    EXPECT_EQ(windows.status, linux.status);
    if (!fs::exists(linuxDest)) continue;
    // The same units, byte for byte.
    const Files files = ListFiles(linuxDest);
    EXPECT_EQ(ListFiles(dest()), files);
    for (const std::string& file : files) {
      EXPECT_EQ(ReadFile(fs::path(dest()) / file), ReadFile(fs::path(linuxDest) / file)) << file;
    }
  }
}

TEST_F(WindowsTest, ResolvesAndRefusesWindowsPaths) {
  const std::string unc = "\\\\server\\share\\folder";
  const std::string drivePath = Win(src()).substr(2);  // "\tmp\...": the current drive's root
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string output;
    int status;
  };
  const Case cases[] = {
      {"relative names, on the current drive and folder",
       {"src", "dest", "-u=dvd"},
       "* Creating units in \"" + Win(dest()) + "\"\n* Scanning \"" + Win(src()) + "\"\n",
       0},
      {"a path from the root of the current drive",
       {drivePath},
       "* Scan only - not creating units\n* Scanning \"" + Win(src()) + "\"\n",
       0},
      {"a UNC source",
       {unc, "dest"},
       "UNC pathnames are not supported for the source folder.\n",
       1},
      {"a UNC destination",
       {"src", unc},
       "UNC pathnames are not supported for destination folder.\n",
       1},
      {"a UNC destination after a UNC source",
       {unc, unc},
       "UNC pathnames are not supported for the source folder.\n",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ToolRun run = RunWindows(c.args, {.workingDir = temp_.path()});
    EXPECT_EQ(run.output.substr(0, kBanner.size() + c.output.size()), kBanner + c.output);
    EXPECT_EQ(run.status, c.status);
    if (c.status == 1) {
      EXPECT_EQ(run.output, kBanner + c.output);
    }
  }
  EXPECT_EQ(ListFiles(dest()),
            (Files{"Unit 01" + src() + "/a.txt", "Unit 01" + src() + "/sub/b.txt",
                   "Unit 01" + src() + "/sub/c.txt"}));
}

TEST_F(WindowsTest, DoublesTheBackslashAfterADriveRoot) {
  // Drive Q: of the Wine prefix is a folder of this test.
  const fs::path drive = temp_.path() / "drive";
  const fs::path letter = fs::path(QUORVEL_WINEPREFIX) / "dosdevices" / "q:";
  fs::create_directories(drive);
  fs::remove(letter);
  fs::create_directory_symlink(drive, letter);

  // A drive root as the destination: each unit path has "Q:\\Unit 01".
  ASSERT_EQ(RunWindows({Win(src()), "Q:\\", "-u=10000"}).status, 0);
  EXPECT_EQ(ReadFile(drive / ("Unit 01" + src() + "/a.txt")), ReadFile(Src("a.txt")));
  const ToolRun again = RunWindows({Win(src()), "Q:\\", "-u=10000"});
  EXPECT_NE(again.output.find("\nFailed to copy \"" + Win(src()) +
                              "\\a.txt\"\n            to \"Q:\\\\Unit 01" + Win(src()).substr(2) +
                              "\\a.txt\"\n"),
            std::string::npos)
      << again.output;
  EXPECT_EQ(again.status, 9);

  // A drive root as the source: each file path has "Q:\\name".
  WriteFile(drive / "big.bin", 5000);
  const ToolRun scan = RunWindows({"Q:\\", "-u=4096"});
  EXPECT_NE(scan.output.find("File larger than unit: \"Q:\\\\big.bin\" (5,000 bytes)\n"),
            std::string::npos)
      << scan.output;
  EXPECT_EQ(scan.status, 6);
  fs::remove(letter);
}

TEST_F(WindowsTest, KeepsNamesBeyondTheAnsiCodePage) {
  const std::string name = "\xD0\xB6\xE2\x82\xAC\xC3\xA9.txt";  // Cyrillic zhe, euro, e acute
  WriteFile(Src(name), 100);
  const ToolRun run = RunWindows({Win(src()), Win(dest())});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(ReadFile(fs::path(dest()) / ("Unit 01" + src()) / name), ReadFile(Src(name)));
  EXPECT_NE(ReadFile(QUORVEL_WINDOWS_EXE).find("<activeCodePage"), std::string::npos);
}

}  // namespace
}  // namespace e2e
