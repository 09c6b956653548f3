// The record of one run, its two lists of entries and the result codes of the stages.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

constexpr int MAX_UNITS = 500;
// Leaves of the best-fit search tree: MAX_UNITS rounded up to a power of two.
constexpr int UNIT_TREE_LEAVES = 512;
static_assert(UNIT_TREE_LEAVES >= MAX_UNITS);
constexpr std::int16_t UNIT_UNASSIGNED = -1;
constexpr std::int16_t UNIT_IGNORED = -2;

struct FolderEntry {
  std::string path;
  std::int32_t lastUnitMade = -1;  // unit index this folder was last created for, -1 for none
  FolderEntry* next = nullptr;
};

struct FileEntry {
  // Only the name is kept, to keep a catalogue of millions of files small; the full path is
  // the folder's path, a separator and the name (FilePath). NUL-terminated, in the Job's store.
  const char* name = nullptr;
  std::uint64_t size = 0;
  std::int16_t unit = UNIT_UNASSIGNED;
  // The file's device and inode when the scan saw it, checked again before it is copied; not
  // known where a link is involved.
  bool identityKnown = false;
  FileEntry* next = nullptr;
  FolderEntry* folder = nullptr;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

// Memory for the file entries and their names, taken from large blocks: a catalogue of
// millions of files costs a few allocations instead of two per file, and is freed at once.
struct StoreBlock {
  StoreBlock* next = nullptr;
  char* bytes = nullptr;
  std::size_t used = 0;
  std::size_t capacity = 0;
};

struct Job {
  StoreBlock* store = nullptr;  // the block in use first
  FileEntry* fileHead = nullptr;
  FileEntry* fileTail = nullptr;
  FileEntry* fitCursor = nullptr;
  FolderEntry* folderHead = nullptr;
  FolderEntry* folderTail = nullptr;
  std::string destination;  // empty for a scan-only run
  std::string source;
  std::uint64_t unitSize = 0;
  std::uint64_t clusterSize = 0;  // 0 turns cluster rounding off
  std::int32_t fitMode = 1;       // 1 sequential, 0 best fit
  std::int32_t fileCount = 0;
  std::int32_t folderCount = 0;  // sub-folders only, not the source folder itself
  std::int32_t oversizeCount = 0;
  std::uint16_t currentUnit = 0;
  std::uint16_t highestUnit = 0;
  bool ignoreOversize = false;
  bool listUnits = false;         // -l: print the plan one line per unit
  std::string planPath;           // -l=FILE: where the plan is written; empty for none
  std::FILE* planFile = nullptr;  // opened, new, while the command line is validated
  std::array<std::uint64_t, MAX_UNITS> unitFill{};
  // Kept by fitting: node i holds the largest room (free bytes + 1, 0 for a unit already over
  // its size) of the units below it, so best fit finds the lowest unit with room in O(log n).
  std::array<std::uint64_t, 2 * UNIT_TREE_LEAVES> unitRoom{};
};

// Signed 32-bit result of every stage; 0 is success.
using ResultCode = std::int32_t;

enum : ResultCode {
  RESULT_NONE = 0,
  RESULT_BAD_PARAMETER = 1,
  RESULT_BAD_SOURCE = 2,
  RESULT_BAD_DESTINATION = 3,
  RESULT_SCAN_ERROR = 4,
  RESULT_OUT_OF_MEMORY = 5,
  RESULT_FILE_TOO_LARGE = 6,
  RESULT_OUT_OF_UNITS = 7,
  RESULT_INTERNAL_ERROR = 8,
  RESULT_COPY_FAILED = 9,
  RESULT_CODE_COUNT = 10,
};

// The message of a result code, for the closing "failed" line.
const char* ResultMessage(ResultCode code);

// `size` bytes aligned to `alignment` from the Job's store; null when memory runs out.
void* StoreBytes(Job* job, std::size_t size, std::size_t alignment);

// Releases every folder entry and then the store of the file entries. The list pointers are
// left as they are; the caller releases the Job right after.
void FreeJob(Job* job);
