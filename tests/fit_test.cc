#include "planner/fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "catalogue/scan.h"

namespace {

constexpr int kSequential = 1;
constexpr int kBestFit = 0;

struct Plan {
  ResultCode result;
  std::vector<int> units;
  int highestUnit;
};

// Fits files of the given sizes, in that order, as the scan would hand them over.
Plan Fit(const std::vector<std::uint64_t>& sizes, int fitMode, std::uint64_t unitSize,
         std::uint64_t clusterSize) {
  Job job;
  job.fitMode = fitMode;
  job.unitSize = unitSize;
  job.clusterSize = clusterSize;
  for (std::uint64_t size : sizes) {
    FileEntry* file = AddFile(&job, nullptr, "f", size);
    if (size > unitSize) file->unit = UNIT_IGNORED;
  }
  testing::internal::CaptureStdout();
  Plan plan{FitFiles(&job), {}, job.highestUnit};
  testing::internal::GetCapturedStdout();
  std::uint64_t fill[MAX_UNITS] = {};
  for (const FileEntry* file = job.fileHead; file != nullptr; file = file->next) {
    plan.units.push_back(file->unit);
    if (file->unit >= 0) fill[file->unit] += RoundToCluster(job, file->size);
  }
  for (std::size_t unit = 0; unit < MAX_UNITS; ++unit) EXPECT_EQ(job.unitFill[unit], fill[unit]);
  FreeJob(&job);
  return plan;
}

TEST(FitFiles, PlacesFilesByModeAndCluster) {
  const struct {
    const char* name;
    std::vector<std::uint64_t> sizes;
    int fitMode;
    std::uint64_t unitSize;
    std::uint64_t clusterSize;
    std::vector<int> units;
    int highestUnit;
  } cases[] = {
      {"empty list", {}, kSequential, 10000, 0, {}, 0},
      {"sequential never goes back", {6000, 6000, 3000}, kSequential, 10000, 0, {0, 1, 1}, 1},
      {"best fit takes the lowest unit with room",
       {6000, 6000, 3000},
       kBestFit,
       10000,
       0,
       {0, 1, 0},
       1},
      {"lowest unit wins, not the fullest", {6000, 8000, 1000}, kBestFit, 10000, 0, {0, 1, 0}, 1},
      {"exactly a unit each", {10000, 10000, 10000}, kSequential, 10000, 0, {0, 1, 2}, 2},
      {"an exact fill still fits", {4000, 6000, 1}, kSequential, 10000, 0, {0, 0, 1}, 1},
      {"rounded up to clusters", {1, 4097, 4096, 1}, kSequential, 12288, 4096, {0, 0, 1, 1}, 1},
      {"oversize after rounding leaves unit 0 empty",
       {9000, 0, 1},
       kSequential,
       10000,
       4096,
       {1, 2, 2},
       2},
      {"oversize after rounding, best fit", {9000, 0, 1}, kBestFit, 10000, 4096, {1, 0, 0}, 1},
      {"cluster larger than the unit",
       {1, 0, 5, 0},
       kSequential,
       734003200,
       1073741824,
       {1, 2, 3, 4},
       4},
      {"cluster larger than the unit, best fit",
       {1, 0, 5, 0},
       kBestFit,
       734003200,
       1073741824,
       {1, 0, 2, 0},
       2},
      {"huge cluster saturates instead of wrapping",
       {1, 0, 5, 0},
       kSequential,
       734003200,
       UINT64_MAX,
       {1, 2, 3, 4},
       4},
      {"huge cluster saturates, best fit",
       {1, 0, 5, 0},
       kBestFit,
       734003200,
       UINT64_MAX,
       {1, 0, 2, 0},
       2},
      {"cluster just above half the range",
       {5, 5},
       kSequential,
       1ull << 62,
       (1ull << 63) + 1,
       {1, 2},
       2},
      {"ignored files keep their mark",
       {5000, 20000, 5000},
       kSequential,
       10000,
       0,
       {0, UNIT_IGNORED, 0},
       0},
  };
  for (const auto& c : cases) {
    const Plan plan = Fit(c.sizes, c.fitMode, c.unitSize, c.clusterSize);
    EXPECT_EQ(plan.result, RESULT_NONE) << c.name;
    EXPECT_EQ(plan.units, c.units) << c.name;
    EXPECT_EQ(plan.highestUnit, c.highestUnit) << c.name;
  }
}

TEST(FitFiles, StopsAtTheUnitLimit) {
  const struct {
    const char* name;
    int count;
    std::uint64_t size;
    std::uint64_t clusterSize;
    ResultCode result;
    int lastPlaced;  // index of the last file that got a unit
  } cases[] = {
      {"500 full units fit", 500, 10000, 0, RESULT_NONE, 499},
      {"the 501st unit fails", 501, 10000, 0, RESULT_OUT_OF_UNITS, 499},
      {"unit 0 left empty costs a unit", 500, 9000, 4096, RESULT_OUT_OF_UNITS, 498},
  };
  for (int fitMode : {kSequential, kBestFit}) {
    for (const auto& c : cases) {
      const Plan plan = Fit(std::vector<std::uint64_t>(static_cast<std::size_t>(c.count), c.size),
                            fitMode, 10000, c.clusterSize);
      EXPECT_EQ(plan.result, c.result) << c.name;
      for (int i = 0; i < c.count; ++i) {
        if (i <= c.lastPlaced) {
          EXPECT_NE(plan.units[static_cast<std::size_t>(i)], UNIT_UNASSIGNED) << c.name;
        } else {
          EXPECT_EQ(plan.units[static_cast<std::size_t>(i)], UNIT_UNASSIGNED) << c.name;
        }
      }
    }
  }
}

// Best fit as the plain scan from unit 0 does it, to hold the tree search to.
Plan ScanEveryUnit(const std::vector<std::uint64_t>& sizes, std::uint64_t unitSize,
                   std::uint64_t clusterSize) {
  Job job;
  job.clusterSize = clusterSize;
  std::vector<std::uint64_t> fill(MAX_UNITS + 1, 0);
  const auto fits = [&](int unit, std::uint64_t size) {
    const std::uint64_t f = fill[static_cast<std::size_t>(unit)];
    return f <= UINT64_MAX - size && f + size <= unitSize;
  };
  Plan plan{RESULT_NONE, std::vector<int>(sizes.size(), UNIT_UNASSIGNED), 0};
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    if (sizes[i] > unitSize) plan.units[i] = UNIT_IGNORED;
  }
  int current = 0;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    if (plan.units[i] == UNIT_IGNORED) continue;
    const std::uint64_t size = RoundToCluster(job, sizes[i]);
    int unit = 0;
    while (unit < current && !fits(unit, size)) ++unit;
    if (unit == current && !fits(current, size)) unit = ++current;
    plan.highestUnit = std::max(plan.highestUnit, current);
    if (unit >= MAX_UNITS) {
      plan.result = RESULT_OUT_OF_UNITS;
      break;
    }
    plan.units[i] = unit;
    std::uint64_t& f = fill[static_cast<std::size_t>(unit)];
    f = f > UINT64_MAX - size ? UINT64_MAX : f + size;
  }
  return plan;
}

TEST(FitFiles, BestFitSearchMatchesAPlainScan) {
  std::mt19937_64 random(20261211);
  const std::uint64_t clusters[] = {0, 4096, 3000, 1ull << 40, UINT64_MAX};
  for (int round = 0; round < 200; ++round) {
    const std::uint64_t unitSize = 4096 + random() % 200000;
    const std::uint64_t clusterSize = clusters[random() % std::size(clusters)];
    std::vector<std::uint64_t> sizes(static_cast<std::size_t>(random() % 3000));
    for (std::uint64_t& size : sizes) {
      // Mostly small files, some near the unit size, a few empty or too large.
      const std::uint64_t kind = random() % 10;
      size = kind == 0   ? 0
             : kind == 1 ? unitSize + random() % 10
                         : random() % (unitSize >> (random() % 8));
    }
    const Plan expected = ScanEveryUnit(sizes, unitSize, clusterSize);
    const Plan actual = Fit(sizes, kBestFit, unitSize, clusterSize);
    ASSERT_EQ(actual.result, expected.result) << "round " << round;
    ASSERT_EQ(actual.units, expected.units) << "round " << round;
    ASSERT_EQ(actual.highestUnit, expected.highestUnit) << "round " << round;
  }
}

TEST(RoundToCluster, RoundsUpAndSaturates) {
  Job job;
  const struct {
    std::uint64_t cluster;
    std::uint64_t size;
    std::uint64_t expected;
  } cases[] = {
      {0, 12345, 12345},
      {4096, 0, 0},
      {4096, 1, 4096},
      {4096, 4096, 4096},
      {4096, 4097, 8192},
      {UINT64_MAX, 1, UINT64_MAX},
      {UINT64_MAX, UINT64_MAX, UINT64_MAX},
      {3, UINT64_MAX - 1, UINT64_MAX},
      {1ull << 62, (1ull << 63) + 1, UINT64_MAX - (1ull << 62) + 1},
  };
  for (const auto& c : cases) {
    job.clusterSize = c.cluster;
    EXPECT_EQ(RoundToCluster(job, c.size), c.expected) << c.cluster << " " << c.size;
  }
}

}  // namespace
