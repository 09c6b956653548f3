#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

// Fills in what the entry is, links followed. Returns false when the folder can't be read
// properly; an entry that vanished since it was listed is dropped.
bool DescribeItem(int folderFd, FolderItem* item, bool* vanished) {
  struct stat st;
  if (::fstatat(folderFd, item->name.c_str(), &st, 0) == 0) {
    if (S_ISREG(st.st_mode)) {
      item->kind = ItemKind::kFile;
      item->size = static_cast<std::uint64_t>(st.st_size);
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
    listing->items.push_back(FolderItem{std::string(name), ItemKind::kOther, 0, {}});
  }
  // readdir gives no entry both at the end and on an error; only errno tells them apart.
  if (errno != 0) return ListStatus::kFailed;
  std::sort(listing->items.begin(), listing->items.end(),
            [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
  std::vector<FolderItem> present;
  present.reserve(listing->items.size());
  for (FolderItem& item : listing->items) {
    bool vanished = false;
    if (!DescribeItem(::dirfd(dir), &item, &vanished)) return ListStatus::kFailed;
    if (!vanished) present.push_back(std::move(item));
  }
  listing->items = std::move(present);
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

bool CopyByReading(int in, int out) {
  std::vector<char> buffer(kBufferSize);
  for (;;) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(got))) return false;
  }
}

// Moves the contents in the kernel where the file systems allow it, by reading and writing
// where they don't.
bool CopyContents(int in, int out) {
  bool copiedAny = false;
  for (;;) {
    const ssize_t moved = ::copy_file_range(in, nullptr, out, nullptr, kCopyChunk, 0);
    if (moved > 0) {
      copiedAny = true;
      continue;
    }
    if (moved == 0) return true;
    if (errno == EINTR) continue;
    if (!copiedAny && IsUnsupportedRange(errno)) return CopyByReading(in, out);
    return false;
  }
}

bool CopyAttributes(int out, const struct stat& st) {
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  return ::fchmod(out, st.st_mode & 07777) == 0 && ::futimens(out, times) == 0;
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

bool CopyNewFile(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return false;
  }
  // O_EXCL: an existing target, or a link planted at its name, is never written into.
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = CopyContents(in, out) && CopyAttributes(out, st);
  ok = (::close(out) == 0) && ok;
  ::close(in);
  if (!ok) ::unlink(to.c_str());
  return ok;
}

bool StdoutIsTerminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}

}  // namespace platform
