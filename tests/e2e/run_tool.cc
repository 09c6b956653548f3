#include "run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace e2e {
namespace fs = std::filesystem;

namespace {

// No run in the tests takes a fraction of this; one that does has hung.
constexpr std::chrono::seconds kRunTimeLimit{60};

struct ProcessState {
  int parent = 0;
  std::string name;
};

// Reads the name and parent from "pid (name) state ppid ..." in /proc.
bool ReadProcessState(int pid, ProcessState* process) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t open = stat.find('(');
  const std::size_t close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close + 4 > stat.size()) {
    return false;
  }
  process->name = stat.substr(open + 1, close - open - 1);
  process->parent = std::atoi(stat.c_str() + close + 4);
  return true;
}

// The pid of the program among the descendants of `root`; 0 if there is none.
int FindProgram(int root) {
  const std::string programName = fs::path(QUORVEL_BINARY).filename().string().substr(0, 15);
  std::map<int, ProcessState> processes;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator("/proc", ignored)) {
    const int pid = std::atoi(entry.path().filename().c_str());
    ProcessState process;
    if (pid > 0 && ReadProcessState(pid, &process)) processes[pid] = process;
  }
  for (const auto& [pid, process] : processes) {
    if (process.name != programName) continue;
    int above = process.parent;
    while (above > 1 && above != root && processes.count(above) != 0) {
      above = processes[above].parent;
    }
    if (above == root) return pid;
  }
  return 0;
}

// Waits until strace's log shows that the program stopped; false after a minute without.
bool WaitForStop(const std::string& straceLog) {
  for (int attempt = 0; attempt < 6000; ++attempt) {
    if (ReadFile(straceLog).find("--- stopped by SIGSTOP ---") != std::string::npos) return true;
    usleep(10000);
  }
  return false;
}

}  // namespace

bool HaveTool(const std::string& tool) {
  return std::system(("command -v " + tool + " > /dev/null 2>&1").c_str()) == 0;
}

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
  if (options.withoutDacCapabilities) {
    command = {"setpriv", "--inh-caps=-all", "--bounding-set=-dac_override,-dac_read_search", "--"};
  }
  if (options.withoutProc) {
    const std::vector<std::string> wrapper = {"unshare",
                                              "--mount",
                                              "--propagation",
                                              "private",
                                              "--",
                                              "sh",
                                              "-c",
                                              "mount -t tmpfs none /proc && exec \"$0\" \"$@\""};
    command.insert(command.end(), wrapper.begin(), wrapper.end());
  }
  std::string straceLog;
  if (!options.strace.empty()) {
    straceLog = (fs::temp_directory_path() / "quorvel-strace-XXXXXX").string();
    close(mkstemp(straceLog.data()));
    command.insert(command.end(), {"strace", "-qq", "-o", straceLog});
    command.insert(command.end(), options.strace.begin(), options.strace.end());
  }
  command.push_back(options.program.empty() ? QUORVEL_BINARY : options.program);
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : command) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int pipeFds[2];
  if (pipe(pipeFds) != 0) throw std::runtime_error("pipe");
  const pid_t child = fork();
  if (child == 0) {
    setpgid(0, 0);  // its own group, so that a hang can be ended with everything it started
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    if (!options.workingDir.empty() && chdir(options.workingDir.c_str()) != 0) _exit(126);
    if (options.removeWorkingDir && rmdir(options.workingDir.c_str()) != 0) _exit(126);
    if (options.fileSizeLimit != 0) {
      // Unless it is meant to kill, a write past the limit fails with EFBIG instead.
      signal(SIGXFSZ, options.fileSizeLimitKills ? SIG_DFL : SIG_IGN);
      const struct rlimit limit = {options.fileSizeLimit, options.fileSizeLimit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    // LeakSanitizer stops the world with ptrace, which a traced program can't allow.
    if (!options.strace.empty()) setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    if (options.memoryLimit != 0) {
      const struct rlimit limit = {options.memoryLimit, options.memoryLimit};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  if (options.onStop) {
    const int program = WaitForStop(straceLog) ? FindProgram(child) : 0;
    if (program != 0) {
      options.onStop(program);
    } else {
      kill(child, SIGKILL);
    }
  }
  ToolRun run;
  char buffer[65536];
  const auto deadline = std::chrono::steady_clock::now() + kRunTimeLimit;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    struct pollfd ready = {pipeFds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) == 0) {
      kill(-child, SIGKILL);
      run.output += "[the program hung]";
      break;
    }
    const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    run.output.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (!straceLog.empty()) fs::remove(straceLog);
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
