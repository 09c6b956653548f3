// The stages of a run in order, and the report that closes it.
#pragma once

#include "driver/job.h"

// Checks the source folder, then scans, fits, verifies and copies. Returns the first failing
// stage's result, or 0.
ResultCode RunJob(Job* job);

// Prints the closing line of a failed run, or the summary of a successful one.
void PrintReport(const Job& job, ResultCode result);

// The whole program: banner, command line, run and report. Returns the exit status: 0 after a
// successful run or the usage text, 1 for a command-line failure, the result code of a failed
// run otherwise.
int RunQuorvel(int argc, const char* const* argv);
