// Runs the built program the way a user does, and builds the trees it runs on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

inline const std::string kBanner =
    "Quorvel 1.1 - the Quorvel team          https://quorvel.example.org\n\n";

struct ToolRun {
  std::string output;  // everything the program wrote to standard output
  int status = -1;     // exit status, or -1 when it did not exit normally
};

struct RunOptions {
  std::string program;                  // empty: the Linux program
  std::filesystem::path workingDir;     // empty: the test's own
  bool unprivileged = false;            // run as nobody, without root's capabilities
  bool removeWorkingDir = false;        // remove workingDir once the program stands in it
  std::uint64_t fileSizeLimit = 0;      // RLIMIT_FSIZE for the program; 0: none
  bool fileSizeLimitKills = false;      // SIGXFSZ ends the program instead of failing the write
  std::uint64_t memoryLimit = 0;        // RLIMIT_AS for the program; 0: none
  bool withoutDacCapabilities = false;  // root, but held to permission bits
  bool withoutProc = false;             // in a mount namespace whose /proc is an empty folder
  // Options of strace, which the program then runs under, for its fault injections.
  std::vector<std::string> strace;
  // Called, with the program's pid, once an injected SIGSTOP has stopped the program; it must
  // let the program go on or end it.
  std::function<void(int programPid)> onStop;
};

ToolRun RunQuorvel(const std::vector<std::string>& args, const RunOptions& options = {});

// True when `tool` can be run from the PATH.
bool HaveTool(const std::string& tool);

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// Writes a file of `size` bytes with contents that differ from file to file.
void WriteFile(const std::filesystem::path& path, std::uint64_t size);
// A file of `size` bytes that takes no room on disk.
void WriteSparseFile(const std::filesystem::path& path, std::uint64_t size);
std::string ReadFile(const std::filesystem::path& path);
// Every regular file below `root`, as paths relative to it, sorted.
std::vector<std::string> ListFiles(const std::filesystem::path& root);

}  // namespace e2e
