#include "catalogue/scan.h"

#include <cstdio>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "text/size_text.h"

namespace {

// Folders on the way from the source down to the folder being listed; a folder met again
// among them is a link back up the tree.
using FolderTrail = std::vector<platform::FolderId>;

// Without -i only the first nine too-large files are listed.
constexpr std::int32_t kOversizeLinesShown = 9;

bool SameFolder(const platform::FolderId& a, const platform::FolderId& b) {
  return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

bool IsOnTrail(const FolderTrail& trail, const platform::FolderId& id) {
  for (const platform::FolderId& above : trail) {
    if (SameFolder(above, id)) return true;
  }
  return false;
}

std::string JoinPath(const std::string& folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path += folder;
  path += platform::kPathSeparator;
  path += name;
  return path;
}

ResultCode ScanTree(Job* job, FolderEntry* folder, FolderTrail* trail);

ResultCode ScanItem(Job* job, FolderEntry* folder, platform::FolderItem* item, FolderTrail* trail) {
  if (item->kind == platform::ItemKind::kFile) {
    FileEntry* file = AddFile(job, folder, item->name, item->size);
    if (file == nullptr) return RESULT_OUT_OF_MEMORY;
    file->identityKnown = item->id.known;
    file->device = item->id.device;
    file->inode = item->id.inode;
    return RESULT_NONE;
  }
  const std::string path = JoinPath(folder->path, item->name);
  if (item->kind == platform::ItemKind::kOther) {
    std::printf("Skipping \"%s\" (not a regular file)\n", path.c_str());
    return RESULT_NONE;
  }
  if (IsOnTrail(*trail, item->id)) {
    std::printf("Skipping \"%s\" (folder loop)\n", path.c_str());
    return RESULT_NONE;
  }
  FolderEntry* child = AddFolder(job, path);
  if (child == nullptr) return RESULT_OUT_OF_MEMORY;
  const ResultCode result = ScanTree(job, child, trail);
  if (result == RESULT_NONE) ++job->folderCount;
  return result;
}

ResultCode ScanTree(Job* job, FolderEntry* folder, FolderTrail* trail) {
  platform::FolderListing listing;
  const platform::ListStatus status = platform::ListFolder(folder->path, &listing);
  if (status == platform::ListStatus::kOutOfMemory) return RESULT_OUT_OF_MEMORY;
  if (status != platform::ListStatus::kOk) {
    std::printf("Couldn't list folder \"%s\"\n", folder->path.c_str());
    return RESULT_SCAN_ERROR;
  }
  trail->push_back(listing.self);
  for (platform::FolderItem& item : listing.items) {
    const ResultCode result = ScanItem(job, folder, &item, trail);
    if (result != RESULT_NONE) return result;
  }
  trail->pop_back();
  return RESULT_NONE;
}

ResultCode MarkOversizeFiles(Job* job) {
  ResultCode result = RESULT_NONE;
  job->oversizeCount = 0;
  for (FileEntry* file = job->fileHead; file != nullptr; file = file->next) {
    if (file->size <= job->unitSize) continue;
    file->unit = UNIT_IGNORED;
    ++job->oversizeCount;
    if (job->oversizeCount <= kOversizeLinesShown || job->ignoreOversize) {
      std::printf("File larger than unit: \"%s\" (%s bytes)\n", FilePath(*file).c_str(),
                  FormatCount(static_cast<std::int64_t>(file->size)).c_str());
      if (!job->ignoreOversize) result = RESULT_FILE_TOO_LARGE;
    }
  }
  return result;
}

}  // namespace

FolderEntry* AddFolder(Job* job, const std::string& path) {
  FolderEntry* folder = new (std::nothrow) FolderEntry;
  if (folder == nullptr) return nullptr;
  try {
    folder->path = path;
  } catch (const std::bad_alloc&) {
    delete folder;
    return nullptr;
  }
  if (job->folderHead == nullptr) {
    job->folderHead = folder;
  } else {
    job->folderTail->next = folder;
  }
  job->folderTail = folder;
  return folder;
}

FileEntry* AddFile(Job* job, FolderEntry* folder, std::string_view name, std::uint64_t size) {
  char* storedName = static_cast<char*>(StoreBytes(job, name.size() + 1, 1));
  void* place = StoreBytes(job, sizeof(FileEntry), alignof(FileEntry));
  if (storedName == nullptr || place == nullptr) return nullptr;
  name.copy(storedName, name.size());
  storedName[name.size()] = '\0';
  FileEntry* file = new (place) FileEntry;
  file->name = storedName;
  file->size = size;
  file->folder = folder;
  if (job->fileHead == nullptr) {
    job->fileHead = file;
  } else {
    job->fileTail->next = file;
  }
  job->fileTail = file;
  ++job->fileCount;
  return file;
}

std::string FilePath(const FileEntry& file) {
  return JoinPath(file.folder->path, file.name);
}

ResultCode ScanSource(Job* job) {
  std::printf("* Scanning \"%s\"\n", job->source.c_str());
  FolderEntry* root = AddFolder(job, job->source);
  if (root == nullptr) return RESULT_OUT_OF_MEMORY;
  const ResultCode result = ScanFolder(job, root);
  if (result != RESULT_NONE) return result;
  return MarkOversizeFiles(job);
}

ResultCode ScanFolder(Job* job, FolderEntry* folder) {
  // Building paths and the trail allocates too; running out there ends the scan like an entry.
  try {
    FolderTrail trail;
    return ScanTree(job, folder, &trail);
  } catch (const std::bad_alloc&) {
    return RESULT_OUT_OF_MEMORY;
  }
}
