#include "planner/plan_listing.h"

#include <cinttypes>
#include <cstdio>

#include "catalogue/scan.h"
#include "text/size_text.h"

void PrintUnitListing(const Job& job, const UnitOrder& order) {
  for (int unit = 0; unit <= job.highestUnit; ++unit) {
    const std::size_t files = FilesOfUnit(order, unit).size();
    const std::uint64_t bytes = job.unitFill[static_cast<std::size_t>(unit)];
    std::printf("Unit %02d: %s %s, %s bytes, %.1f%% full\n", unit + 1,
                FormatCount(static_cast<std::int64_t>(files)).c_str(),
                files == 1 ? "file" : "files",
                FormatCount(static_cast<std::int64_t>(bytes)).c_str(),
                static_cast<double>(bytes) * 100.0 / static_cast<double>(job.unitSize));
  }
}

ResultCode WritePlanFile(Job* job, const UnitOrder& order) {
  bool ok = true;
  for (int unit = 0; unit <= job->highestUnit && ok; ++unit) {
    for (const FileEntry* file : FilesOfUnit(order, unit)) {
      ok = std::fprintf(job->planFile, "%d\t%" PRIu64 "\t%s\n", unit + 1, file->size,
                        FilePath(*file).c_str()) >= 0;
      if (!ok) break;
    }
  }
  ok = std::fclose(job->planFile) == 0 && ok;
  job->planFile = nullptr;
  if (ok) return RESULT_NONE;
  std::printf("Couldn't write plan file \"%s\"\n", job->planPath.c_str());
  std::remove(job->planPath.c_str());
  return RESULT_COPY_FAILED;
}
