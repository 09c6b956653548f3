// Whole runs: scan, plan, copy and report, checked in the output, the exit status and the
// destination tree.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "fixtures.h"

namespace e2e {
namespace {

TEST_F(SmallTreeTest, CopiesEachFileIntoItsUnit) {
  const ToolRun run = RunQuorvel({src(), dest(), "-u=10000"});
  EXPECT_EQ(run.output, kBanner + "* Creating units in \"" + dest() + "\"\n" + "* Scanning \"" +
                            src() + "\"\n" +
                            "* Sequentially distributing to units of 10,000 bytes\n"
                            "* Source folder will be redistributed to 2 units\n"
                            "* Making folders and copying files for unit 1\n"
                            "Copying to unit 1, file 1 of 3\r"
                            "* Making folders and copying files for unit 2\n"
                            "Copying to unit 2, file 2 of 3\r"
                            "Copying to unit 2, file 3 of 3\r"
                            "* Successfully redistributed files              \n" +
                            Summary(3, 1, 2, "10,000"));
  EXPECT_EQ(run.status, 0);
  const Files expected = {InUnit("Unit 01", "a.txt"), InUnit("Unit 02", "sub/b.txt"),
                          InUnit("Unit 02", "sub/c.txt")};
  ASSERT_EQ(ListFiles(dest()), expected);
  for (const std::string relative : {"a.txt", "sub/b.txt", "sub/c.txt"}) {
    const fs::path copy = fs::path(dest()) / (relative[0] == 'a' ? InUnit("Unit 01", relative)
                                                                 : InUnit("Unit 02", relative));
    EXPECT_EQ(ReadFile(copy), ReadFile(Src(relative))) << relative;
    EXPECT_EQ(fs::status(copy).permissions(), fs::status(Src(relative)).permissions());
    EXPECT_EQ(fs::last_write_time(copy), fs::last_write_time(Src(relative)));
  }
}

TEST_F(RunTest, KeepsEveryModeWhateverTheUmask) {
  // Some modes survive the umask at creation, the others are set after the contents.
  const fs::perms modes[] = {fs::perms(0751),  fs::perms(0666), fs::perms(0604),
                             fs::perms(04755), fs::perms(0400), fs::perms(0)};
  for (std::size_t i = 0; i < std::size(modes); ++i) {
    WriteFile(Src("f" + std::to_string(i)), 10);
    fs::permissions(Src("f" + std::to_string(i)), modes[i]);
  }
  const mode_t previous = umask(022);
  const ToolRun run = RunQuorvel({src(), dest()});
  umask(previous);
  ASSERT_EQ(run.status, 0) << run.output;
  for (std::size_t i = 0; i < std::size(modes); ++i) {
    const fs::path copy = fs::path(dest()) / InUnit("Unit 01", "f" + std::to_string(i));
    EXPECT_EQ(fs::status(copy).permissions(), modes[i]) << i;
  }
}

TEST_F(SmallTreeTest, BestFitFillsTheLowestUnitWithRoom) {
  const ToolRun run = RunQuorvel({"-b", src(), dest(), "-u=10000"});
  EXPECT_NE(run.output.find("* Best fit distributing to units of 10,000 bytes\n"),
            std::string::npos);
  EXPECT_EQ(run.status, 0);
  const Files expected = {InUnit("Unit 01", "a.txt"), InUnit("Unit 01", "sub/c.txt"),
                          InUnit("Unit 02", "sub/b.txt")};
  EXPECT_EQ(ListFiles(dest()), expected);
}

TEST_F(SmallTreeTest, ScanOnlyCreatesNothing) {
  const ToolRun run = RunQuorvel({"-u=4kb", "-i", src()});
  EXPECT_EQ(run.output, kBanner + "* Scan only - not creating units\n" + "* Scanning \"" + src() +
                            "\"\n" + "File larger than unit: \"" + src() +
                            "/a.txt\" (6,000 bytes)\n" + "File larger than unit: \"" + src() +
                            "/sub/b.txt\" (6,000 bytes)\n" +
                            "* Sequentially distributing to units of 4,096 bytes\n"
                            "* Source folder will be redistributed to 1 units\n" +
                            Summary(3, 1, 1, "4,096") +
                            "Ignored 2 files which were larger than the unit size\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(fs::exists(dest()));
}

TEST_F(SmallTreeTest, NeverOverwritesAndLeavesNoPartialCopy) {
  ASSERT_EQ(RunQuorvel({src(), dest(), "-u=10000"}).status, 0);
  const fs::path first = fs::path(dest()) / InUnit("Unit 01", "a.txt");
  WriteFile(first, 10);
  const ToolRun again = RunQuorvel({src(), dest(), "-u=10000"});
  EXPECT_EQ(again.output.substr(again.output.find("Copying")),
            "Copying to unit 1, file 1 of 3\r\nFailed to copy \"" + src() + "/a.txt\"\n" +
                "            to \"" + first.string() + "\"\n" +
                "Quorvel failed: Couldn't copy file\n");
  EXPECT_EQ(again.status, 9);
  EXPECT_EQ(fs::file_size(first), 10u);

  // A copy that breaks off half-way (the file size limit) leaves nothing under the name.
  TempDir other;
  const ToolRun cut =
      RunQuorvel({src(), other.str() + "/units", "-u=10000"}, {.fileSizeLimit = 4000});
  EXPECT_NE(cut.output.find("\nFailed to copy \"" + src() + "/a.txt\""), std::string::npos);
  EXPECT_EQ(cut.status, 9);
  EXPECT_EQ(ListFiles(other.path()), Files{});
}

TEST_F(RunTest, ReportsWhatIsWrongWithTheSource) {
  WriteFile(temp_.path() / "plain.txt", 5);
  for (const std::string& source : {src(), temp_.str() + "/plain.txt"}) {
    const ToolRun run = RunQuorvel({source});
    EXPECT_EQ(run.output, kBanner + "Quorvel failed: Bad source folder\n");
    EXPECT_EQ(run.status, 2);
  }
}

TEST_F(RunTest, EmptySourceNeedsOneUnitAndCreatesNothing) {
  fs::create_directories(Src());
  const ToolRun run = RunQuorvel({src(), dest()});
  EXPECT_EQ(run.output, kBanner + "* Creating units in \"" + dest() + "\"\n" + "* Scanning \"" +
                            src() + "\"\n" +
                            "* Sequentially distributing to units of 734,003,200 bytes\n"
                            "* Source folder will be redistributed to 1 units\n"
                            "* Making folders and copying files for unit 1\n"
                            "* Successfully redistributed files              \n" +
                            Summary(0, 0, 1, "734,003,200"));
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(fs::exists(dest()));
}

TEST_F(RunTest, TooLargeFilesFailTheRunUnlessIgnored) {
  for (int i = 0; i < 12; ++i) WriteSparseFile(Src("big" + std::to_string(i + 10)), 5000);
  WriteFile(Src("small"), 10);
  std::string nineLines;
  std::string listed;
  for (int i = 0; i < 12; ++i) {
    listed += "File larger than unit: \"" + src() + "/big" + std::to_string(i + 10) +
              "\" (5,000 bytes)\n";
    if (i == 8) nineLines = listed;
  }
  ToolRun run = RunQuorvel({"-u=4096", src()});
  EXPECT_EQ(run.output, kBanner + "* Scan only - not creating units\n* Scanning \"" + src() +
                            "\"\n" + nineLines +
                            "Quorvel failed: File larger than the "
                            "destination unit size\n");
  EXPECT_EQ(run.status, 6);

  run = RunQuorvel({"-u=4096", "-i", src(), dest()});
  EXPECT_NE(run.output.find(listed + "* Sequentially"), std::string::npos);
  EXPECT_NE(run.output.find(Summary(13, 0, 1, "4,096") +
                            "Ignored 12 files which were larger than the unit size\n"),
            std::string::npos);
  EXPECT_NE(run.output.find("Copying to unit 1, file 1 of 13\r* Successfully"), std::string::npos);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListFiles(dest()), Files{InUnit("Unit 01", "small")});

  fs::remove_all(dest());
  for (int i = 1; i < 12; ++i) fs::remove(Src("big" + std::to_string(i + 10)));
  run = RunQuorvel({"-u=4096", "-i", src()});
  EXPECT_NE(run.output.find("Ignored 1 file which was larger than the unit size\n"),
            std::string::npos);
  fs::remove(Src("big10"));
  run = RunQuorvel({"-u=4096", "-i", src()});
  EXPECT_NE(run.output.find("Ignored 0 files which were larger than the unit size\n"),
            std::string::npos);
}

TEST_F(RunTest, CatalogsSizesAboveFourGigabytes) {
  WriteSparseFile(Src("disc.iso"), 4400000000);
  ToolRun run = RunQuorvel({"-u=cd", src()});
  EXPECT_NE(
      run.output.find("File larger than unit: \"" + src() + "/disc.iso\" (4,400,000,000 bytes)\n"),
      std::string::npos);
  EXPECT_EQ(run.status, 6);
  run = RunQuorvel({"-u=dvd", src()});
  EXPECT_NE(run.output.find(Summary(1, 0, 1, "4,508,876,800")), std::string::npos);
  EXPECT_EQ(run.status, 0);
}

TEST_F(RunTest, FillsFiveHundredUnitsAndNoMore) {
  for (int i = 0; i < 500; ++i)
    WriteFile(Src("d" + std::to_string(i % 7) + "/f" + std::to_string(i)), 4096);
  ToolRun run = RunQuorvel({"-u=4096", src(), dest()});
  EXPECT_NE(run.output.find("Copying to unit 500, file 500 of 500\r"), std::string::npos);
  EXPECT_NE(run.output.find(Summary(500, 7, 500, "4,096")), std::string::npos);
  EXPECT_EQ(run.status, 0);
  const Files copied = ListFiles(dest());
  ASSERT_EQ(copied.size(), 500u);
  for (const char* unit : {"Unit 01", "Unit 99", "Unit 100", "Unit 500"}) {
    EXPECT_TRUE(fs::is_directory(fs::path(dest()) / unit)) << unit;
  }

  WriteFile(Src("last"), 1);
  run = RunQuorvel({"-u=4096", src()});
  EXPECT_EQ(run.output.substr(run.output.find("* Seq")),
            "* Sequentially distributing to units of 4,096 bytes\nQuorvel failed: Out of units\n");
  EXPECT_EQ(run.status, 7);
}

TEST_F(RunTest, LeavesUnitOneEmptyWhenTheFirstFileOutgrowsItsClusters) {
  WriteFile(Src("a"), 9000);
  WriteFile(Src("b"), 0);
  WriteFile(Src("c"), 1);
  const ToolRun run = RunQuorvel({"-u=10000", "-t=4kb", src(), dest()});
  EXPECT_NE(run.output.find("* Source folder will be redistributed to 3 units\n"
                            "* Making folders and copying files for unit 1\n"
                            "* Making folders and copying files for unit 2\n"
                            "Copying to unit 2, file 1 of 3\r"),
            std::string::npos);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListFiles(dest()),
            (Files{InUnit("Unit 02", "a"), InUnit("Unit 03", "b"), InUnit("Unit 03", "c")}));
}

TEST_F(RunTest, FollowsLinksAndSkipsWhatIsNoRegularFile) {
  WriteFile(Src("data/file"), 100);
  fs::create_symlink(Src("data/file"), Src("data/link-to-file"));
  fs::create_directory_symlink(Src("data"), Src("link-to-data"));
  fs::create_directory_symlink(Src(), Src("data/loop"));
  fs::create_symlink(Src("nowhere"), Src("dangling"));
  fs::create_symlink("self", Src("self"));
  ASSERT_EQ(mkfifo(Src("fifo").c_str(), 0644), 0);
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = Src("socket").string();
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  const ToolRun run = RunQuorvel({src(), dest()});
  close(sock);
  const std::string s = src();
  EXPECT_EQ(run.output.substr(0, run.output.find("* Sequentially")),
            kBanner + "* Creating units in \"" + dest() + "\"\n* Scanning \"" + s + "\"\n" +
                "Skipping \"" + s + "/dangling\" (not a regular file)\n" + "Skipping \"" + s +
                "/data/loop\" (folder loop)\n" + "Skipping \"" + s +
                "/fifo\" (not a regular file)\n" + "Skipping \"" + s +
                "/link-to-data/loop\" (folder loop)\n" + "Skipping \"" + s +
                "/self\" (not a regular file)\n" + "Skipping \"" + s +
                "/socket\" (not a regular file)\n");
  EXPECT_NE(run.output.find(Summary(4, 2, 1, "734,003,200")), std::string::npos);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListFiles(dest()),
            (Files{InUnit("Unit 01", "data/file"), InUnit("Unit 01", "data/link-to-file"),
                   InUnit("Unit 01", "link-to-data/file"),
                   InUnit("Unit 01", "link-to-data/link-to-file")}));
}

TEST_F(RunTest, FailsTheScanOnAFolderItCannotList) {
  WriteFile(Src("a/file"), 10);
  WriteFile(Src("b/locked/file"), 10);
  WriteFile(Src("c/file"), 10);
  fs::permissions(Src("b/locked"), fs::perms::none);
  const ToolRun run = RunQuorvel({src(), dest()}, {.unprivileged = true});
  EXPECT_EQ(run.output, kBanner + "* Creating units in \"" + dest() + "\"\n* Scanning \"" + src() +
                            "\"\n" + "Couldn't list folder \"" + src() + "/b/locked\"\n" +
                            "Quorvel failed: Error scanning source folder tree\n");
  EXPECT_EQ(run.status, 4);
  EXPECT_FALSE(fs::exists(dest()));
}

TEST_F(RunTest, RunningOutOfMemoryEndsTheRunCleanly) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
  // 20,000 long names need far more than 12 MB to catalogue; the program itself needs less.
  fs::create_directories(Src());
  const std::string longName(240, 'x');
  for (int i = 0; i < 20000; ++i) std::ofstream(Src(std::to_string(i) + longName));
  const ToolRun run = RunQuorvel({src()}, {.memoryLimit = 12u << 20});
  EXPECT_EQ(run.output, kBanner + "* Scan only - not creating units\n* Scanning \"" + src() +
                            "\"\nQuorvel failed: Out of memory\n");
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(RunQuorvel({src()}).status, 0);
}

TEST_F(RunTest, ReportsTheFolderItCannotCreate) {
  WriteFile(Src("file"), 10);
  fs::create_directories(dest());
  fs::permissions(dest(), fs::perms(0555));
  const ToolRun run = RunQuorvel({src(), dest()}, {.unprivileged = true});
  EXPECT_EQ(run.output.substr(run.output.find("* Making")),
            "* Making folders and copying files for unit 1\n"
            "Couldn't create folder \"" +
                dest() + "/Unit 01\"\n" + "Quorvel failed: Couldn't copy file\n");
  EXPECT_EQ(run.status, 9);
}

}  // namespace
}  // namespace e2e
