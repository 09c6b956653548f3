#include "planner/fit.h"

#include <cstdio>
#include <limits>

#include "text/size_text.h"

namespace {

constexpr std::uint64_t kSaturated = std::numeric_limits<std::uint64_t>::max();

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > kSaturated - b ? kSaturated : a + b;
}

bool HasRoom(const Job& job, int unit, std::uint64_t size) {
  return SaturatingAdd(job.unitFill[static_cast<std::size_t>(unit)], size) <= job.unitSize;
}

void Place(Job* job, int unit, std::uint64_t size) {
  FileEntry* file = job->fitCursor;
  file->unit = static_cast<std::int16_t>(unit);
  std::uint64_t& fill = job->unitFill[static_cast<std::size_t>(unit)];
  fill = SaturatingAdd(fill, size);
  job->fitCursor = file->next;
}

}  // namespace

std::uint64_t RoundToCluster(const Job& job, std::uint64_t size) {
  const std::uint64_t cluster = job.clusterSize;
  if (cluster == 0 || size % cluster == 0) return size;
  const std::uint64_t clusters = size / cluster + 1;
  if (clusters > kSaturated / cluster) return kSaturated;
  return clusters * cluster;
}

ResultCode FitSequential(Job* job) {
  const std::uint64_t size = RoundToCluster(*job, job->fitCursor->size);
  // The unit opened here is not tested: the file goes into it whatever its size.
  if (!HasRoom(*job, job->currentUnit, size)) ++job->currentUnit;
  if (job->currentUnit >= MAX_UNITS) return RESULT_OUT_OF_UNITS;
  Place(job, job->currentUnit, size);
  return RESULT_NONE;
}

ResultCode FitBestFit(Job* job) {
  const std::uint64_t size = RoundToCluster(*job, job->fitCursor->size);
  for (int unit = 0; unit < job->currentUnit; ++unit) {
    if (HasRoom(*job, unit, size)) {
      Place(job, unit, size);
      return RESULT_NONE;
    }
  }
  return FitSequential(job);
}

ResultCode FitFiles(Job* job) {
  std::printf("* %s distributing to units of %s bytes\n",
              job->fitMode == 1 ? "Sequentially" : "Best fit",
              FormatCount(static_cast<std::int64_t>(job->unitSize)).c_str());
  job->currentUnit = 0;
  job->highestUnit = 0;
  job->fitCursor = job->fileHead;
  while (job->fitCursor != nullptr) {
    if (job->fitCursor->unit == UNIT_IGNORED) {
      job->fitCursor = job->fitCursor->next;
      continue;
    }
    const ResultCode result = job->fitMode == 1 ? FitSequential(job) : FitBestFit(job);
    if (job->currentUnit > job->highestUnit) job->highestUnit = job->currentUnit;
    if (result != RESULT_NONE) return result;
  }
  return RESULT_NONE;
}
