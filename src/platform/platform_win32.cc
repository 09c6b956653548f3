#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "platform/platform.h"

namespace platform {

const char kPathSeparator = '\\';
const char* const kSwitchChars = "-/";
const char* const kUsageExample = "  quorvel \"c:\\my backups\" \"c:\\to cut\" -b -u=650mb -t=4kb";
const std::size_t kMappedPrefixLength = 2;
const std::size_t kFolderWalkStart = 3;

namespace {

constexpr DWORD kPathBuffer = MAX_PATH;  // 260 characters, the terminator included

std::uint64_t SizeOf(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// NTFS keeps a folder's entries in the order of their upper-cased names; every file system
// is listed in that order, so a plan does not depend on where the tree lies.
bool ComesBefore(const FolderItem& a, const FolderItem& b) {
  const std::size_t common = std::min(a.name.size(), b.name.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto x = static_cast<unsigned char>(UpperAscii(a.name[i]));
    const auto y = static_cast<unsigned char>(UpperAscii(b.name[i]));
    if (x != y) return x < y;
  }
  if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
  return a.name < b.name;
}

ListStatus ReadEntries(const std::string& path, FolderListing* listing) {
  const std::string pattern = path + "\\*";
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    // A drive root has no "." or "..": an empty one has nothing to find at all.
    return ::GetLastError() == ERROR_FILE_NOT_FOUND ? ListStatus::kOk : ListStatus::kFailed;
  }
  ListStatus status = ListStatus::kOk;
  try {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      FolderItem item;
      item.name = name;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        item.kind = ItemKind::kFolder;
      } else {
        item.kind = ItemKind::kFile;
        item.size = SizeOf(found.nFileSizeHigh, found.nFileSizeLow);
      }
      listing->items.push_back(std::move(item));
    } while (::FindNextFileA(search, &found));
    // The search ends with ERROR_NO_MORE_FILES; any other error cut the listing short.
    if (::GetLastError() != ERROR_NO_MORE_FILES) status = ListStatus::kFailed;
    std::sort(listing->items.begin(), listing->items.end(), ComesBefore);
  } catch (const std::bad_alloc&) {
    status = ListStatus::kOutOfMemory;
  }
  ::FindClose(search);
  return status;
}

// --- Copies go to a temporary name beside the target and are renamed, never over a file, once
// whole. Ctrl-C cancels the copy in progress, which removes the temporary, before the program
// ends.

BOOL g_cancelCopy = FALSE;
volatile LONG g_copying = 0;

BOOL WINAPI CancelCopyAndEnd(DWORD) {
  g_cancelCopy = TRUE;
  // Give the copy a moment to remove its temporary; the default handler then ends the program.
  for (int wait = 0; wait < 50 && g_copying != 0; ++wait) ::Sleep(100);
  return FALSE;
}

std::string TemporaryFor(const std::string& to, unsigned attempt) {
  const std::size_t slash = to.rfind('\\');
  const std::string folder = to.substr(0, slash);
  std::string name = to.substr(slash + 1);
  char tag[32];
  std::snprintf(tag, sizeof tag, ".quorvel-%06lx",
                static_cast<unsigned long>((::GetTickCount() + attempt * 7919u) & 0xffffffu));
  // Shortened where needed, so that the temporary fits wherever its target does.
  const std::size_t room = kPathBuffer - 1;
  const std::size_t fixed = folder.size() + 2 + std::strlen(tag);
  if (fixed + name.size() > room) name.resize(room > fixed ? room - fixed : 0);
  return folder + "\\." + name + tag;
}

// Makes sure the copy's data are on the device before it gets its name.
bool FlushFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  const bool readOnly =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly) ::SetFileAttributesA(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  bool flushed = false;
  if (file != INVALID_HANDLE_VALUE) {
    flushed = ::FlushFileBuffers(file) != 0;
    flushed = ::CloseHandle(file) != 0 && flushed;
  }
  if (readOnly) ::SetFileAttributesA(path.c_str(), attributes);
  return flushed;
}

bool SizeOfPath(const std::string& path, std::uint64_t* size, bool* folder) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  *size = SizeOf(data.nFileSizeHigh, data.nFileSizeLow);
  *folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return true;
}

}  // namespace

bool FullPath(const std::string& typed, std::string* full) {
  char buffer[kPathBuffer];
  const DWORD length = ::GetFullPathNameA(typed.c_str(), kPathBuffer, buffer, nullptr);
  // 0 is a failure; a length that doesn't fit is one too, since nothing may be truncated.
  if (length == 0 || length >= kPathBuffer) return false;
  full->assign(buffer, length);
  return true;
}

bool HasRootForm(const std::string& full) {
  return full.size() >= 3 && full[1] == ':' && full[2] == '\\';
}

PathKind QueryPath(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder : PathKind::kFile;
}

ListStatus ListFolder(const std::string& path, FolderListing* listing) {
  listing->items.clear();
  listing->self = FolderId{};
  return ReadEntries(path, listing);
}

bool CreateFolder(const std::string& path) {
  return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

CopyStatus CopyNewFile(const std::string& from, const std::string& to, const FileStamp& scanned) {
  static const BOOL handlerSet = ::SetConsoleCtrlHandler(CancelCopyAndEnd, TRUE);
  (void)handlerSet;
  std::uint64_t size = 0;
  bool folder = false;
  if (!SizeOfPath(from, &size, &folder)) return CopyStatus::kFailed;
  if (folder || size != scanned.size) return CopyStatus::kChanged;
  // Like CopyFileA's own check: an existing target fails at once, before any data move.
  if (::GetFileAttributesA(to.c_str()) != INVALID_FILE_ATTRIBUTES) return CopyStatus::kFailed;

  std::string temporary;
  BOOL copied = FALSE;
  ::InterlockedExchange(&g_copying, 1);
  for (unsigned attempt = 0; attempt < 100 && !copied; ++attempt) {
    temporary = TemporaryFor(to, attempt);
    copied = ::CopyFileExA(from.c_str(), temporary.c_str(), nullptr, nullptr, &g_cancelCopy,
                           COPY_FILE_FAIL_IF_EXISTS);
    if (!copied && ::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  CopyStatus status = CopyStatus::kFailed;
  if (copied) {
    // Checked again on the copy: a file that grew while it was copied could overflow its medium.
    std::uint64_t copiedSize = 0;
    if (!SizeOfPath(temporary, &copiedSize, &folder)) {
      status = CopyStatus::kFailed;
    } else if (copiedSize != scanned.size) {
      status = CopyStatus::kChanged;
    } else if (FlushFile(temporary) &&
               ::MoveFileExA(temporary.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0) {
      status = CopyStatus::kCopied;  // without MOVEFILE_REPLACE_EXISTING: never over a file
    }
    if (status != CopyStatus::kCopied) ::DeleteFileA(temporary.c_str());
  }
  ::InterlockedExchange(&g_copying, 0);
  // Interrupted: the temporary is gone; wait for the handler to end the program.
  while (*static_cast<volatile BOOL*>(&g_cancelCopy)) ::Sleep(1000);
  return status;
}

bool FlushToDevice(const std::string&) {
  // Each copy was flushed before it got its name.
  return true;
}

std::FILE* CreateNewFile(const std::string& path) {
  const int fd =
      ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = ::_fdopen(fd, "wb");
  if (file == nullptr) ::_close(fd);
  return file;
}

bool StdoutIsTerminal() {
  return ::_isatty(::_fileno(stdout)) != 0;
}

}  // namespace platform
