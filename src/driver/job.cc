#include "driver/job.h"

#include <iterator>

namespace {

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
  for (FileEntry* file = job->fileHead; file != nullptr;) {
    FileEntry* next = file->next;
    delete file;
    file = next;
  }
}
