#include "planner/fit.h"

#include <algorithm>
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

// A file of s bytes fits a unit exactly when s < its room; 0 means not even an empty file fits.
std::uint64_t RoomOf(const Job& job, std::uint64_t fill) {
  if (fill > job.unitSize) return 0;
  return SaturatingAdd(job.unitSize - fill, 1);
}

void UpdateNode(Job* job, std::size_t node) {
  job->unitRoom[node] = std::max(job->unitRoom[2 * node], job->unitRoom[2 * node + 1]);
}

void SetRoom(Job* job, std::size_t unit) {
  std::size_t node = UNIT_TREE_LEAVES + unit;
  job->unitRoom[node] = RoomOf(*job, job->unitFill[unit]);
  for (node /= 2; node >= 1; node /= 2) UpdateNode(job, node);
}

void ResetRooms(Job* job) {
  std::fill(job->unitRoom.begin(), job->unitRoom.end(), 0);
  for (std::size_t unit = 0; unit < MAX_UNITS; ++unit) {
    job->unitRoom[UNIT_TREE_LEAVES + unit] = RoomOf(*job, job->unitFill[unit]);
  }
  for (std::size_t node = UNIT_TREE_LEAVES - 1; node >= 1; --node) UpdateNode(job, node);
}

// The lowest unit that has room for `size` bytes, or MAX_UNITS when none has.
int LowestUnitWithRoom(const Job& job, std::uint64_t size) {
  if (job.unitRoom[1] <= size) return MAX_UNITS;
  std::size_t node = 1;
  while (node < UNIT_TREE_LEAVES) node = job.unitRoom[2 * node] > size ? 2 * node : 2 * node + 1;
  return static_cast<int>(node - UNIT_TREE_LEAVES);
}

void Place(Job* job, int unit, std::uint64_t size) {
  FileEntry* file = job->fitCursor;
  file->unit = static_cast<std::int16_t>(unit);
  std::uint64_t& fill = job->unitFill[static_cast<std::size_t>(unit)];
  fill = SaturatingAdd(fill, size);
  SetRoom(job, static_cast<std::size_t>(unit));
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
  // The lowest unit with room overall; when it is not below currentUnit, no open unit before
  // the newest has room.
  const int unit = LowestUnitWithRoom(*job, size);
  if (unit < job->currentUnit) {
    Place(job, unit, size);
    return RESULT_NONE;
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
  ResetRooms(job);
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
