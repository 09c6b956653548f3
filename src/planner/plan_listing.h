// The plan shown to the user (-l) and written for other tools (-l=FILE).
#pragma once

#include "driver/job.h"
#include "planner/unit_order.h"

// One line per unit: its number, file count, bytes after cluster rounding and how full it is.
void PrintUnitListing(const Job& job, const UnitOrder& order);

// Writes "unit<TAB>size<TAB>path" for every file to be copied, in copy order, into the plan
// file opened by the command line, and closes it. Returns 0, or 9 after removing the file when
// it can't be written.
ResultCode WritePlanFile(Job* job, const UnitOrder& order);
