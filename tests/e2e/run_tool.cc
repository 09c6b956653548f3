#include "run_tool.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace e2e {
namespace fs = std::filesystem;

ToolRun RunQuorvel(const std::vector<std::string>& args, const RunOptions& options) {
  std::vector<std::string> command;
  if (options.unprivileged) {
    command = {"setpriv",
               "--reuid=65534",
               "--regid=65534",
               "--clear-groups",
               "--inh-caps=-all",
               "--bounding-set=-all",
               "--"};
  }
  command.push_back(QUORVEL_BINARY);
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : command) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int pipeFds[2];
  if (pipe(pipeFds) != 0) throw std::runtime_error("pipe");
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    if (!options.workingDir.empty() && chdir(options.workingDir.c_str()) != 0) _exit(126);
    if (options.removeWorkingDir && rmdir(options.workingDir.c_str()) != 0) _exit(126);
    if (options.fileSizeLimit != 0) {
      // A write past the limit then fails with EFBIG instead of killing the program.
      signal(SIGXFSZ, SIG_IGN);
      const struct rlimit limit = {options.fileSizeLimit, options.fileSizeLimit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (options.memoryLimit != 0) {
      const struct rlimit limit = {options.memoryLimit, options.memoryLimit};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  ToolRun run;
  char buffer[65536];
  for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
    if (got < 0) break;
    run.output.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "quorvel-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  // Open to everyone, so that a run as an unprivileged user can reach what it is meant to.
  fs::permissions(pattern, fs::perms::all);
  path_ = pattern;
}

TempDir::~TempDir() {
  // Tests take permissions away; give them back so that everything can be removed.
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(path_, ignored);
}

void WriteFile(const fs::path& path, std::uint64_t size) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  const std::string seed = path.filename().string() + "|";
  std::string chunk;
  while (chunk.size() < 4096) chunk += seed;
  for (std::uint64_t left = size; left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
    out.write(chunk.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
}

void WriteSparseFile(const fs::path& path, std::uint64_t size) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).close();
  fs::resize_file(path, size);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

std::vector<std::string> ListFiles(const fs::path& root) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace e2e
