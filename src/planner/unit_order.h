// The files of a plan grouped by unit, so that a unit's files are found without walking the
// whole list once per unit.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "driver/job.h"

struct UnitOrder {
  std::vector<FileEntry*> files;   // unit by unit, in list order within each unit
  std::vector<std::size_t> begin;  // unit u holds files[begin[u]] up to files[begin[u + 1]]
};

// Groups every placed file by its unit. Returns 0, or 5 when memory runs out.
ResultCode OrderFilesByUnit(const Job& job, UnitOrder* order);

// The files of unit `unit`, in list order.
std::span<FileEntry* const> FilesOfUnit(const UnitOrder& order, int unit);
