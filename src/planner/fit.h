// Placement of every catalogued file into a unit, sequentially or by first fit.
#pragma once

#include <cstdint>

#include "driver/job.h"

// Places every file not marked UNIT_IGNORED. Returns 0, or 7 when a file would need a unit
// beyond MAX_UNITS.
ResultCode FitFiles(Job* job);

// Place the file at fitCursor and advance it; return 7 and leave the file unplaced when no
// unit is left. FitSequential only fills the newest unit; FitBestFit tries every open unit
// from the lowest first.
ResultCode FitSequential(Job* job);
ResultCode FitBestFit(Job* job);

// The room a file of `size` bytes takes in a unit: rounded up to whole clusters when
// clusterSize is set, saturating at the largest 64-bit value instead of wrapping.
std::uint64_t RoundToCluster(const Job& job, std::uint64_t size);
