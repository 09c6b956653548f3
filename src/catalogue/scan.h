// The catalogue of the source tree: every file and folder in scan order, and the check of
// every file against the unit size.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "driver/job.h"

// Lists the source tree into the Job's lists and counters and marks the files larger than a
// unit. Returns 0, 4 (a folder can't be listed), 5 (out of memory) or 6 (a file too large,
// without ignoreOversize).
ResultCode ScanSource(Job* job);

// Lists one folder and, depth first, its sub-folders. Returns 0, 4 or 5.
ResultCode ScanFolder(Job* job, FolderEntry* folder);

// Appends a new folder entry; returns null when it can't be allocated.
FolderEntry* AddFolder(Job* job, const std::string& path);

// Appends a new, unplaced file entry named `name` in `folder`; returns null when it can't be
// allocated.
FileEntry* AddFile(Job* job, FolderEntry* folder, std::string_view name, std::uint64_t size);

// The full path of a catalogued file.
std::string FilePath(const FileEntry& file);
