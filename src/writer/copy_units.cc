#include "writer/copy_units.h"

#include <algorithm>
#include <cstdio>

#include "catalogue/scan.h"
#include "platform/platform.h"
#include "text/size_text.h"

namespace {

// Creates every missing folder along `path`, the root passed over, then the path itself.
ResultCode MakeFolderPath(const std::string& path) {
  std::string prefix;
  for (std::size_t at = platform::kFolderWalkStart; at <= path.size(); ++at) {
    if (at < path.size() && path[at] != platform::kPathSeparator) continue;
    prefix.assign(path, 0, at);
    if (platform::QueryPath(prefix) != platform::PathKind::kMissing) continue;
    if (!platform::CreateFolder(prefix)) {
      std::printf("Couldn't create folder \"%s\"\n", prefix.c_str());
      return RESULT_BAD_DESTINATION;
    }
  }
  return RESULT_NONE;
}

void ShowProgress(int unit, std::int64_t fileNumber, std::int32_t fileCount) {
  static const bool flushAtOnce = platform::StdoutIsTerminal();
  std::printf("Copying to unit %s, file %s of %s\r", FormatCount(unit + 1).c_str(),
              FormatCount(fileNumber).c_str(), FormatCount(fileCount).c_str());
  if (flushAtOnce) std::fflush(stdout);
}

ResultCode CopyUnitFiles(Job* job, const UnitOrder& order, std::int64_t* copied) {
  const int unit = job->currentUnit;
  for (const FileEntry* file : FilesOfUnit(order, unit)) {
    ShowProgress(unit, *copied + 1, job->fileCount);
    const std::string source = FilePath(*file);
    const std::string target = UnitPath(*job, unit, source);
    const platform::FileStamp scanned{file->size, {file->device, file->inode, file->identityKnown}};
    const platform::CopyStatus status = platform::CopyNewFile(source, target, scanned);
    if (status != platform::CopyStatus::kCopied) {
      // A file that grew could overflow its medium, so any change fails the run.
      if (status == platform::CopyStatus::kChanged) {
        std::printf("\"%s\" changed since the scan\n", source.c_str());
      }
      std::printf("\nFailed to copy \"%s\"\n            to \"%s\"\n", source.c_str(),
                  target.c_str());
      return RESULT_COPY_FAILED;
    }
    ++*copied;
  }
  return RESULT_NONE;
}

// A unit is on its device before the next one starts, so that a finished run means finished
// media contents.
ResultCode FlushUnit(const Job& job, const UnitOrder& order) {
  const int unit = job.currentUnit;
  if (FilesOfUnit(order, unit).empty()) return RESULT_NONE;  // nothing was created for it
  const std::string unitFolder = UnitPath(job, unit, "");
  if (platform::FlushToDevice(unitFolder)) return RESULT_NONE;
  std::printf("\nCouldn't flush \"%s\" to its device\n", unitFolder.c_str());
  return RESULT_COPY_FAILED;
}

}  // namespace

std::string UnitPath(const Job& job, int unit, const std::string& sourcePath) {
  char unitName[32];
  std::snprintf(unitName, sizeof unitName, "%cUnit %02d", platform::kPathSeparator, unit + 1);
  std::string path = job.destination;
  path += unitName;
  path.append(sourcePath, std::min(platform::kMappedPrefixLength, sourcePath.size()));
  return path;
}

ResultCode MakeUnitFolders(Job* job, const UnitOrder& order) {
  const int unit = job->currentUnit;
  std::printf("* Making folders and copying files for unit %s\n", FormatCount(unit + 1).c_str());
  for (const FileEntry* file : FilesOfUnit(order, unit)) {
    if (file->folder->lastUnitMade == unit) continue;
    file->folder->lastUnitMade = unit;
    const ResultCode result = MakeFolderPath(UnitPath(*job, unit, file->folder->path));
    if (result != RESULT_NONE) return result;
  }
  return RESULT_NONE;
}

ResultCode CopyUnits(Job* job, const UnitOrder& order) {
  std::printf("* Source folder will be redistributed to %s units\n",
              FormatCount(job->highestUnit + 1).c_str());
  if (job->destination.empty()) return RESULT_NONE;
  std::int64_t copied = 0;
  for (job->currentUnit = 0; job->currentUnit <= job->highestUnit; ++job->currentUnit) {
    if (MakeUnitFolders(job, order) != RESULT_NONE) return RESULT_COPY_FAILED;
    const ResultCode result = CopyUnitFiles(job, order, &copied);
    if (result != RESULT_NONE) return result;
    if (FlushUnit(*job, order) != RESULT_NONE) return RESULT_COPY_FAILED;
  }
  std::printf("* Successfully redistributed files              \n");
  return RESULT_NONE;
}
