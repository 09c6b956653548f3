// Faults and interruptions during a copy, each one real: injected by strace, a resource limit,
// a full file system, a signal, or a change made to the source while the program is stopped.
// Whatever happens, no truncated or wrong file may appear under a final name.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <functional>

#include "fixtures.h"

namespace e2e {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

#define REQUIRE_STRACE() \
  if (!HaveTool("strace")) GTEST_SKIP() << "strace is not installed"

// Stops the program at its first mkdir: the scan and the plan are done, no copy has begun.
const std::vector<std::string> kStopBeforeCopying = {"-e", "trace=mkdir", "-e",
                                                     "inject=mkdir:signal=SIGSTOP:when=1"};

std::string FailedToCopy(const std::string& from, const std::string& to) {
  return "\nFailed to copy \"" + from + "\"\n            to \"" + to +
         "\"\nQuorvel failed: Couldn't copy file\n";
}

std::string Tail(const std::string& output, std::size_t length) {
  return output.substr(output.size() - std::min(length, output.size()));
}

TEST_F(RunTest, RefusesAFileThatChangedSinceTheScan) {
  REQUIRE_STRACE();
  struct Case {
    const char* what;
    bool changed;
    std::function<void(const fs::path& file, const fs::path& other)> apply;
  };
  const Case cases[] = {
      {"nothing", false, [](const fs::path&, const fs::path&) {}},
      {"grew", true, [](const fs::path& file, const fs::path&) { WriteFile(file, 5001); }},
      {"shrank", true, [](const fs::path& file, const fs::path&) { WriteFile(file, 10); }},
      {"replaced by a file of the same size", true,
       [](const fs::path& file, const fs::path& other) {
         fs::copy_file(other, file.string() + "~");
         fs::rename(file.string() + "~", file);
       }},
      {"replaced by a link to a file of the same size", true,
       [](const fs::path& file, const fs::path& other) {
         fs::remove(file);
         fs::create_symlink(other, file);
       }},
      {"replaced by a FIFO", true,
       [](const fs::path& file, const fs::path&) {
         fs::remove(file);
         ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir temp;
    const fs::path file = temp.path() / "src/data.bin";
    const fs::path other = temp.path() / "other.bin";
    WriteFile(file, 5000);
    WriteFile(other, 5000);
    const std::string dest = temp.str() + "/dest";
    const std::string target = dest + "/Unit 01" + file.string();
    const ToolRun run = RunQuorvel({temp.str() + "/src", dest},
                                   {.strace = kStopBeforeCopying, .onStop = [&](int pid) {
                                      c.apply(file, other);
                                      kill(pid, SIGCONT);
                                    }});
    if (!c.changed) {
      EXPECT_EQ(run.status, 0) << run.output;
      EXPECT_EQ(ReadFile(target), ReadFile(file));
      continue;
    }
    const std::string expected = "1\r\"" + file.string() + "\" changed since the scan\n" +
                                 FailedToCopy(file.string(), target);
    EXPECT_EQ(Tail(run.output, expected.size()), expected);
    EXPECT_EQ(run.status, 9);
    EXPECT_EQ(ListFiles(dest), Files{});
  }
}

TEST_F(RunTest, AnInterruptedCopyLeavesNothingUnderAFinalName) {
  REQUIRE_STRACE();
  WriteFile(Src("big.bin"), 1 << 20);
  const std::string target = "Unit 01" + src() + "/big.bin";
  // Copies by reading and writing, and stops after two of its eight writes.
  const std::vector<std::string> stopMidFile = {"-e", "trace=copy_file_range,write",
                                                "-e", "inject=copy_file_range:error=EXDEV",
                                                "-e", "inject=write:signal=SIGSTOP:when=3"};
  struct Case {
    int signal;
    bool named;  // without /proc, a copy is written under a hidden temporary name
  };
  const Case cases[] = {{SIGKILL, false}, {SIGINT, false}, {SIGTERM, false},
                        {SIGKILL, true},  {SIGINT, true},  {SIGTERM, true}};
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.named ? ", named temporary" : ""));
    if (c.named && kSanitized) {
      std::printf("[ SKIPPED  ] a named temporary: AddressSanitizer can't start without /proc\n");
      continue;
    }
    const std::string dest = temp_.str() + "/dest" + std::to_string(++round);
    Files whileStopped;
    const ToolRun run = RunQuorvel(
        {src(), dest}, {.withoutProc = c.named, .strace = stopMidFile, .onStop = [&](int pid) {
                          whileStopped = ListFiles(dest);
                          kill(pid, c.signal);
                          kill(pid, SIGCONT);
                        }});
    EXPECT_EQ(run.status, -1) << run.output;
    // A nameless file is invisible; the named one is hidden beside its target.
    ASSERT_EQ(whileStopped.size(), c.named ? 1u : 0u);
    if (c.named) {
      EXPECT_EQ(fs::path(whileStopped[0]).filename().string().rfind(".big.bin.quorvel-", 0), 0u)
          << whileStopped[0];
    }
    // Only a kill that can't be caught may leave the hidden temporary behind.
    EXPECT_EQ(ListFiles(dest), c.named && c.signal == SIGKILL ? whileStopped : Files{});
    const std::string fresh = dest + "-again";
    EXPECT_EQ(RunQuorvel({src(), fresh}).status, 0);
    EXPECT_EQ(ReadFile(fresh + "/" + target), ReadFile(Src("big.bin")));
  }
}

TEST_F(RunTest, AFailedCopyLeavesNothingBehind) {
  WriteFile(Src("big.bin"), 1 << 20);
  const std::string file = Src("big.bin").string();
  const std::string target = dest() + "/Unit 01" + file;
  struct Case {
    const char* what;
    RunOptions options;
    int status;
  };
  std::vector<Case> cases = {
      {"a file size limit that kills", {.fileSizeLimit = 300000, .fileSizeLimitKills = true}, -1},
      {"a file size limit", {.fileSizeLimit = 300000}, 9},
  };
  if (HaveTool("strace")) {
    cases.push_back(
        {"a read error",
         {.strace = {"-P", file, "-e", "trace=read,copy_file_range", "-e",
                     "inject=copy_file_range:error=EXDEV", "-e", "inject=read:error=EIO:when=3"}},
         9});
    cases.push_back({"a failed copy_file_range",
                     {.strace = {"-P", file, "-e", "trace=copy_file_range", "-e",
                                 "inject=copy_file_range:error=EIO"}},
                     9});
  } else {
    std::printf("[ SKIPPED  ] injected read errors: strace is not installed\n");
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ToolRun run = RunQuorvel({src(), dest()}, c.options);
    EXPECT_EQ(run.status, c.status) << run.output;
    if (c.status == 9) {
      const std::string failed = FailedToCopy(file, target);
      EXPECT_EQ(Tail(run.output, failed.size()), failed);
    }
    EXPECT_EQ(ListFiles(dest()), Files{});
    fs::remove_all(dest());
  }
}

TEST_F(RunTest, AFullDiskLeavesNothingBehind) {
  WriteFile(Src("a.bin"), 1 << 20);
  WriteFile(Src("b.bin"), 1000);
  fs::create_directories(dest());
  if (mount("tmpfs", dest().c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "can't mount a small tmpfs here: " << strerror(errno);
  }
  const ToolRun run = RunQuorvel({src(), dest()});
  const std::string file = Src("a.bin").string();
  const std::string failed = FailedToCopy(file, dest() + "/Unit 01" + file);
  EXPECT_EQ(Tail(run.output, failed.size()), failed);
  EXPECT_EQ(run.status, 9);
  EXPECT_EQ(ListFiles(dest()), Files{});
  umount(dest().c_str());
}

TEST_F(RunTest, RootHeldToPermissionsCannotReadALockedSource) {
  WriteFile(Src("open/file"), 10);
  WriteFile(Src("shut/file"), 10);
  struct Case {
    const char* locked;
    std::string tail;
    int status;
  };
  const std::string shutFile = Src("shut/file").string();
  const Case cases[] = {
      {"shut/file", FailedToCopy(shutFile, dest() + "/Unit 01" + shutFile), 9},
      {"shut",
       "Couldn't list folder \"" + Src("shut").string() +
           "\"\nQuorvel failed: Error scanning source folder tree\n",
       4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locked);
    fs::permissions(Src(c.locked), fs::perms::none);
    const ToolRun run = RunQuorvel({src(), dest()}, {.withoutDacCapabilities = true});
    EXPECT_EQ(Tail(run.output, c.tail.size()), c.tail);
    EXPECT_EQ(run.status, c.status);
    fs::permissions(Src(c.locked), fs::perms::owner_all);
    fs::remove_all(dest());
  }
}

TEST_F(RunTest, CopiesANameOfTheLongestLength) {
  const std::string name(255, 'n');
  WriteFile(Src(name), 3000);
  for (const bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary" : "nameless file");
    if (named && kSanitized) {
      std::printf("[ SKIPPED  ] a named temporary: AddressSanitizer can't start without /proc\n");
      continue;
    }
    const std::string dest = temp_.str() + (named ? "/named" : "/nameless");
    const ToolRun run = RunQuorvel({src(), dest}, {.withoutProc = named});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ListFiles(dest), Files{InUnit("Unit 01", name)});
    EXPECT_EQ(ReadFile(dest + "/" + InUnit("Unit 01", name)), ReadFile(Src(name)));
  }
}

TEST_F(RunTest, FailsCleanlyOnAPathLongerThanTheSystemAllows) {
  // Built and removed relative to open folders, since no full path reaches the bottom.
  const std::string part(200, 'd');
  fs::create_directories(Src());
  std::vector<int> folders = {open(Src().c_str(), O_DIRECTORY)};
  std::string deep = src();
  std::string tooLong;  // the first folder whose full path the system refuses
  while (tooLong.empty() || deep.size() < tooLong.size() + 2 * part.size()) {
    ASSERT_EQ(mkdirat(folders.back(), part.c_str(), 0755), 0);
    folders.push_back(openat(folders.back(), part.c_str(), O_DIRECTORY));
    deep += "/" + part;
    if (tooLong.empty() && deep.size() >= PATH_MAX) tooLong = deep;
  }
  close(openat(folders.back(), "file", O_CREAT | O_WRONLY, 0644));

  const ToolRun run = RunQuorvel({src(), dest()});
  const std::string tail = "Couldn't list folder \"" + tooLong +
                           "\"\nQuorvel failed: Error scanning source folder tree\n";
  EXPECT_EQ(Tail(run.output, tail.size()), tail);
  EXPECT_EQ(run.status, 4);
  EXPECT_FALSE(fs::exists(dest()));

  unlinkat(folders.back(), "file", 0);
  for (std::size_t i = folders.size() - 1; i > 0; --i) {
    close(folders[i]);
    unlinkat(folders[i - 1], part.c_str(), AT_REMOVEDIR);
  }
  close(folders[0]);
}

}  // namespace
}  // namespace e2e
