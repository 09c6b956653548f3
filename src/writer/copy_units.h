// Writing the planned units: the "Unit NN" folders under the destination and the copies.
#pragma once

#include <string>

#include "driver/job.h"
#include "planner/unit_order.h"

// Prints the number of units and, unless the run is scan-only, creates every unit's folders and
// copies its files, in list order within each unit. Returns 0, or 9 when a folder can't be
// created or a copy fails.
ResultCode CopyUnits(Job* job, const UnitOrder& order);

// Creates the folders of unit currentUnit that hold at least one of its files, with their
// parents. Returns 0, or 3 when a folder can't be created.
ResultCode MakeUnitFolders(Job* job, const UnitOrder& order);

// Where a source path lands in a unit: destination, "Unit NN", then the full source path.
std::string UnitPath(const Job& job, int unit, const std::string& sourcePath);
