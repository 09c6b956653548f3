#include "driver/job.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <type_traits>

namespace {

constexpr std::size_t kStoreBlockBytes = std::size_t{1} << 20;
static_assert(std::is_trivially_destructible_v<FileEntry>, "file entries are freed with the store");

constexpr const char* kResultMessages[] = {
    "None",
    "Bad parameter",
    "Bad source folder",
    "Bad destination folder",
    "Error scanning source folder tree",
    "Out of memory",
    "File larger than the destination unit size",
    "Out of units",
    "Internal error",
    "Couldn't copy file",
};
static_assert(std::size(kResultMessages) == RESULT_CODE_COUNT, "one message per result code");

}  // namespace

const char* ResultMessage(ResultCode code) {
  if (code < 0 || code >= RESULT_CODE_COUNT) return kResultMessages[RESULT_INTERNAL_ERROR];
  return kResultMessages[code];
}

void FreeJob(Job* job) {
  for (FolderEntry* folder = job->folderHead; folder != nullptr;) {
    FolderEntry* next = folder->next;
    delete folder;
    folder = next;
  }
  // File entries and their names hold nothing of their own: the store goes as a whole.
  for (StoreBlock* block = job->store; block != nullptr;) {
    StoreBlock* next = block->next;
    delete[] block->bytes;
    delete block;
    block = next;
  }
}

void* StoreBytes(Job* job, std::size_t size, std::size_t alignment) {
  StoreBlock* block = job->store;
  std::size_t at = 0;
  if (block != nullptr) at = (block->used + alignment - 1) / alignment * alignment;
  if (block == nullptr || at + size > block->capacity) {
    // A request too large for a block gets one of its own.
    const std::size_t capacity = std::max(kStoreBlockBytes, size);
    block = new (std::nothrow) StoreBlock;
    if (block == nullptr) return nullptr;
    block->bytes = new (std::nothrow) char[capacity];
    if (block->bytes == nullptr) {
      delete block;
      return nullptr;
    }
    block->capacity = capacity;
    block->next = job->store;
    job->store = block;
    at = 0;  // new[] memory is aligned for any fundamental type
  }
  block->used = at + size;
  return block->bytes + at;
}
