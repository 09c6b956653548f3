#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace platform {

const char kPathSeparator = '/';
const char* const kSwitchChars = "-";
const char* const kUsageExample =
    "  quorvel \"/home/me/my backups\" \"/home/me/to cut\" -b -u=650mb -t=4kb";
const std::size_t kMappedPrefixLength = 0;
const std::size_t kFolderWalkStart = 1;

namespace {

constexpr std::size_t kCopyChunk = std::size_t{1} << 30;
constexpr std::size_t kBufferSize = std::size_t{1} << 17;

bool CurrentDirectory(std::string* cwd) {
  char* buffer = ::getcwd(nullptr, 0);
  if (buffer == nullptr) return false;
  *cwd = buffer;
  std::free(buffer);
  return true;
}

FolderId IdOf(const struct stat& st) {
  return FolderId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                  true};
}

// Fills in what the entry is, links followed. `direct` tells that readdir saw a regular file,
// not a link, so its identity can be checked again when it is copied. Returns false when the
// folder can't be read properly; an entry that vanished since it was listed is dropped.
bool DescribeItem(int folderFd, bool direct, FolderItem* item, bool* vanished) {
  struct stat st;
  if (::fstatat(folderFd, item->name.c_str(), &st, 0) == 0) {
    if (S_ISREG(st.st_mode)) {
      item->kind = ItemKind::kFile;
      item->size = static_cast<std::uint64_t>(st.st_size);
      if (direct) item->id = IdOf(st);
    } else if (S_ISDIR(st.st_mode)) {
      item->kind = ItemKind::kFolder;
      item->id = IdOf(st);
    }
    return true;
  }
  if (errno != ENOENT && errno != ELOOP) return false;
  // A link to nothing, or a chain of links that never ends, is not a file.
  if (::fstatat(folderFd, item->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return true;
  *vanished = errno == ENOENT;
  return *vanished;
}

ListStatus ReadEntries(DIR* dir, FolderListing* listing) {
  struct stat self;
  if (::fstat(::dirfd(dir), &self) != 0) return ListStatus::kFailed;
  listing->self = IdOf(self);
  for (;;) {
    errno = 0;
    const struct dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    // Described in the order the folder keeps its entries, which is kinder to the caches than
    // name order; sorted afterwards.
    FolderItem item{std::string(name), ItemKind::kOther, 0, {}};
    bool vanished = false;
    if (!DescribeItem(::dirfd(dir), entry->d_type == DT_REG, &item, &vanished)) {
      return ListStatus::kFailed;
    }
    if (!vanished) listing->items.push_back(std::move(item));
  }
  // readdir gives no entry both at the end and on an error; only errno tells them apart.
  if (errno != 0) return ListStatus::kFailed;
  std::sort(listing->items.begin(), listing->items.end(),
            [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
  return ListStatus::kOk;
}

bool IsUnsupportedRange(int error) {
  return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP ||
         error == EBADF;
}

bool WriteAll(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, data, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    length -= static_cast<std::size_t>(written);
  }
  return true;
}

// Copies until the end of the file or `limit` bytes, whichever comes first.
bool CopyByReading(int in, int out, std::uint64_t limit, std::uint64_t* total) {
  std::vector<char> buffer(kBufferSize);
  while (*total < limit) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), limit - *total));
    const ssize_t got = ::read(in, buffer.data(), want);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(got))) return false;
    *total += static_cast<std::uint64_t>(got);
  }
  return true;
}

// Moves the contents in the kernel where the file systems allow it, by reading and writing
// where they don't. One byte more than the scanned size is asked for, so a file that grew is
// noticed without copying all of its growth.
CopyStatus CopyContents(int in, int out, std::uint64_t size) {
  const std::uint64_t limit = size + 1;
  std::uint64_t total = 0;
  while (total < limit) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, limit - total));
    const ssize_t moved = ::copy_file_range(in, nullptr, out, nullptr, want, 0);
    if (moved > 0) {
      total += static_cast<std::uint64_t>(moved);
      continue;
    }
    if (moved == 0) break;
    if (errno == EINTR) continue;
    if (total != 0 || !IsUnsupportedRange(errno)) return CopyStatus::kFailed;
    if (!CopyByReading(in, out, limit, &total)) return CopyStatus::kFailed;
    break;
  }
  return total == size ? CopyStatus::kCopied : CopyStatus::kChanged;
}

// The mode to create a copy with: the source's own where the umask leaves it whole, which
// spares a chmod per file; otherwise a private one, set right after the contents.
mode_t CreationMode(const struct stat& st) {
  static const mode_t umaskBits = [] {
    const mode_t bits = ::umask(0);
    ::umask(bits);
    return bits;
  }();
  const mode_t mode = st.st_mode & 07777;
  return (mode & (umaskBits | 07000)) == 0 ? mode : 0600;
}

CopyStatus FillTarget(int in, int out, const struct stat& st) {
  const CopyStatus status = CopyContents(in, out, static_cast<std::uint64_t>(st.st_size));
  if (status != CopyStatus::kCopied) return status;
  const mode_t mode = st.st_mode & 07777;
  if (CreationMode(st) != mode && ::fchmod(out, mode) != 0) return CopyStatus::kFailed;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  return ::futimens(out, times) == 0 ? CopyStatus::kCopied : CopyStatus::kFailed;
}

bool StillAsScanned(const struct stat& st, const FileStamp& scanned) {
  if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) != scanned.size) {
    return false;
  }
  if (!scanned.id.known) return true;
  const FolderId now = IdOf(st);
  return now.device == scanned.id.device && now.inode == scanned.id.inode;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

// --- Nameless files: the kernel drops them by itself if the run ends before they are named.

// Naming a nameless file needs /proc (or a capability the program shouldn't need).
bool NamelessFilesCanBeNamed() {
  static const bool can = ::access("/proc/self/fd", F_OK) == 0;
  return can;
}

bool IsNamelessRefused(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Gives a nameless file its name; linkat never replaces, an existing name fails with EEXIST.
bool NameNameless(int fd, const std::string& to) {
  // Linking the descriptor itself needs a capability that only some runs have; /proc serves
  // the others, and a run that lacks it once lacks it for good.
  static bool byDescriptor = true;
  if (byDescriptor) {
    if (::linkat(fd, "", AT_FDCWD, to.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno != ENOENT && errno != EPERM) return false;
    byDescriptor = false;
  }
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  return ::linkat(AT_FDCWD, self, AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

CopyStatus CopyToNameless(int in, int out, const struct stat& st, const std::string& to) {
  CopyStatus status = FillTarget(in, out, st);
  if (status == CopyStatus::kCopied && !NameNameless(out, to)) status = CopyStatus::kFailed;
  // Some file systems report a failed write only at close; the name then goes again.
  if (::close(out) != 0 && status == CopyStatus::kCopied) {
    ::unlink(to.c_str());
    status = CopyStatus::kFailed;
  }
  return status;
}

// --- Named temporaries, where the file system has no nameless files. A signal that ends the
// run removes the one being written; only a kill that can't be caught can leave it behind,
// hidden, and never under a final name.

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Read by the signal handler; changed only while the ending signals are blocked.
std::string g_temporary;
volatile std::sig_atomic_t g_temporaryActive = 0;

void RemoveTemporaryAndEnd(int signal) {
  if (g_temporaryActive != 0) ::unlink(g_temporary.c_str());
  // SA_RESETHAND put the default action back: the signal ends the process once this returns.
  ::raise(signal);
}

void CatchEndingSignals() {
  static bool caught = false;
  if (caught) return;
  caught = true;
  struct sigaction action {};
  action.sa_handler = RemoveTemporaryAndEnd;
  action.sa_flags = static_cast<int>(SA_RESETHAND);
  sigemptyset(&action.sa_mask);
  for (const int signal : kEndingSignals) sigaddset(&action.sa_mask, signal);
  for (const int signal : kEndingSignals) {
    struct sigaction previous {};
    // A signal the caller chose to ignore (nohup) stays ignored.
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
      ::sigaction(signal, &action, nullptr);
    }
  }
}

sigset_t BlockEndingSignals() {
  sigset_t block;
  sigset_t previous;
  sigemptyset(&block);
  for (const int signal : kEndingSignals) sigaddset(&block, signal);
  ::sigprocmask(SIG_BLOCK, &block, &previous);
  return previous;
}

void RestoreSignals(const sigset_t& previous) {
  ::sigprocmask(SIG_SETMASK, &previous, nullptr);
}

// Creates a hidden file beside the target, named after it and shortened to fit a name's limit.
int CreateTemporary(const std::string& folder, const std::string& name, const struct stat& st,
                    std::string* temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::uint32_t random = 0;
    if (::getrandom(&random, sizeof random, 0) != sizeof random) {
      random = static_cast<std::uint32_t>(::getpid()) * 2654435761u +
               static_cast<std::uint32_t>(attempt);
    }
    char tag[32];
    const int tagLength = std::snprintf(tag, sizeof tag, ".quorvel-%06x", random & 0xffffffu);
    const std::size_t kept = NAME_MAX - 1 - static_cast<std::size_t>(tagLength);
    *temporary = folder + "/." + name.substr(0, kept) + tag;
    const sigset_t previous = BlockEndingSignals();
    const int fd =
        ::open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, CreationMode(st));
    if (fd >= 0) {
      g_temporary = *temporary;
      g_temporaryActive = 1;
    }
    const int error = errno;
    RestoreSignals(previous);
    if (fd >= 0) return fd;
    if (error != EEXIST) return -1;
  }
  return -1;
}

void ForgetTemporary() {
  const sigset_t previous = BlockEndingSignals();
  g_temporaryActive = 0;
  RestoreSignals(previous);
}

// Gives the temporary its final name without ever replacing a file there.
bool PublishTemporary(const std::string& temporary, const std::string& to) {
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
  if (::link(temporary.c_str(), to.c_str()) == 0) {
    ::unlink(temporary.c_str());
    return true;
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return false;
  // Last resort, on file systems with neither: a file that appears at the target between this
  // check and the rename is replaced. Nothing narrower exists there.
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0 || errno != ENOENT) return false;
  return ::rename(temporary.c_str(), to.c_str()) == 0;
}

CopyStatus CopyToTemporary(int in, const struct stat& st, const std::string& to) {
  CatchEndingSignals();
  std::string temporary;
  const int out = CreateTemporary(FolderOf(to), NameOf(to), st, &temporary);
  if (out < 0) return CopyStatus::kFailed;
  CopyStatus status = FillTarget(in, out, st);
  if (::close(out) != 0 && status == CopyStatus::kCopied) status = CopyStatus::kFailed;
  if (status == CopyStatus::kCopied && !PublishTemporary(temporary, to)) {
    status = CopyStatus::kFailed;
  }
  if (status != CopyStatus::kCopied) ::unlink(temporary.c_str());
  ForgetTemporary();
  return status;
}

CopyStatus CopyOpened(int in, const struct stat& st, const std::string& to) {
  if (NamelessFilesCanBeNamed()) {
    const int out =
        ::open(FolderOf(to).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, CreationMode(st));
    if (out >= 0) return CopyToNameless(in, out, st, to);
    if (!IsNamelessRefused(errno)) return CopyStatus::kFailed;
  }
  return CopyToTemporary(in, st, to);
}

}  // namespace

bool FullPath(const std::string& typed, std::string* full) {
  std::string joined;
  if (typed.empty() || typed.front() != '/') {
    if (!CurrentDirectory(&joined)) return false;
    joined += '/';
  }
  joined += typed;
  std::vector<std::string_view> parts;
  const std::string_view view = joined;
  std::size_t at = 0;
  while (at <= view.size()) {
    std::size_t end = view.find('/', at);
    if (end == std::string_view::npos) end = view.size();
    const std::string_view part = view.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string result;
  for (const std::string_view part : parts) {
    result += '/';
    result += part;
  }
  *full = result.empty() ? "/" : std::move(result);
  return true;
}

bool HasRootForm(const std::string& full) {
  return !full.empty() && full.front() == '/';
}

PathKind QueryPath(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return PathKind::kMissing;
  return S_ISDIR(st.st_mode) ? PathKind::kFolder : PathKind::kFile;
}

ListStatus ListFolder(const std::string& path, FolderListing* listing) {
  listing->items.clear();
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return ListStatus::kFailed;
  ListStatus status;
  try {
    status = ReadEntries(dir, listing);
  } catch (const std::bad_alloc&) {
    status = ListStatus::kOutOfMemory;
  }
  ::closedir(dir);
  return status;
}

bool CreateFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

CopyStatus CopyNewFile(const std::string& from, const std::string& to, const FileStamp& scanned) {
  // Non-blocking, so that a FIFO put in the file's place can't hang the open; no link is
  // followed where the scan saw none.
  int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  if (scanned.id.known) flags |= O_NOFOLLOW;
  const int in = ::open(from.c_str(), flags);
  if (in < 0) {
    return errno == ELOOP && scanned.id.known ? CopyStatus::kChanged : CopyStatus::kFailed;
  }
  struct stat st;
  CopyStatus status = CopyStatus::kFailed;
  if (::fstat(in, &st) == 0) {
    status = StillAsScanned(st, scanned) ? CopyOpened(in, st, to) : CopyStatus::kChanged;
  }
  ::close(in);
  return status;
}

bool FlushToDevice(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool flushed = ::syncfs(fd) == 0;
  return (::close(fd) == 0) && flushed;
}

std::FILE* CreateNewFile(const std::string& path) {
  return std::fopen(path.c_str(), "wx");
}

bool StdoutIsTerminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}

}  // namespace platform
