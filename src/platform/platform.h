// The only door to the operating system. Everything above this header is the same code on
// every platform; the facts that differ between them are constants exported here.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// Separator used in every path the program builds and prints.
extern const char kPathSeparator;
// Characters that begin a switch on the command line.
extern const char* const kSwitchChars;
// The example line at the end of the usage text, with this platform's folders.
extern const char* const kUsageExample;
// Characters dropped from the front of a full path when it is mapped into a unit folder
// (the drive letter and colon on Windows, nothing on POSIX).
extern const std::size_t kMappedPrefixLength;
// Index from which the folder-creation walk looks for separators, so that the root of the
// path is passed over.
extern const std::size_t kFolderWalkStart;

// Resolves a typed folder name to a full path against the current directory, without
// touching the disk. Returns false when it can't (or when the result can't be represented).
bool FullPath(const std::string& typed, std::string* full);

// True when a full path has the form this platform's run needs (a drive letter, a colon and a
// separator on Windows; a leading '/' on POSIX).
bool HasRootForm(const std::string& full);

enum class PathKind { kMissing, kFile, kFolder };

// What exists at a path, links followed. kFile stands for anything that is not a folder.
PathKind QueryPath(const std::string& path);

enum class ItemKind { kFile, kFolder, kOther };

// Identity of a folder or file on its device: a folder that contains itself through a link is
// noticed by it, and so is a file replaced between the scan and its copy.
struct FolderId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool known = false;
};

struct FolderItem {
  std::string name;
  ItemKind kind = ItemKind::kOther;
  std::uint64_t size = 0;  // files only
  FolderId id;             // folders; files unless reached through a link
};

struct FolderListing {
  FolderId self;
  std::vector<FolderItem> items;  // sorted by name, without "." and ".."
};

enum class ListStatus { kOk, kFailed, kOutOfMemory };

// Reads a whole folder and closes it before returning. Links are followed; an entry that is
// neither a regular file nor a folder (or a link to nothing) comes back as kOther.
ListStatus ListFolder(const std::string& path, FolderListing* listing);

// Creates one folder. Returns false on failure.
bool CreateFolder(const std::string& path);

// What the scan saw of a file, checked again when it is copied.
struct FileStamp {
  std::uint64_t size = 0;
  FolderId id;  // not known where a link is involved
};

enum class CopyStatus { kCopied, kFailed, kChanged };

// Copies a file's contents (and its permissions and times) to a new file. Never replaces or
// writes into an existing target, and publishes the target's name only once the copy is whole:
// a failure or an interruption leaves nothing under it. kChanged when the source is no longer
// the regular file of that identity and size that the scan saw.
CopyStatus CopyNewFile(const std::string& from, const std::string& to, const FileStamp& scanned);

// Writes everything written so far below `path` to its device. Returns false on failure.
bool FlushToDevice(const std::string& path);

// Creates a new file for writing, refusing a name that exists. Returns nullptr on failure.
std::FILE* CreateNewFile(const std::string& path);

// True when standard output is a terminal, so that progress must be flushed at once.
bool StdoutIsTerminal();

}  // namespace platform
