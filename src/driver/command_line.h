// The banner, the usage text, the command line and the validation of the two folders.
#pragma once

#include "driver/job.h"

void PrintBanner();
void PrintUsage();

// Sets the defaults of a new run: sequential fitting into 700 MB units, no clusters.
void SetJobDefaults(Job* job);

// Reads every argument after the program name into the Job. Returns 0 when all were accepted,
// or 1 after printing why the first bad one was not; no argument after it is read.
int ParseCommandLine(Job* job, int argc, const char* const* argv);

// Turns both folders into full paths, source first. Returns 0, or 1 after printing the reason.
int ResolveFolders(Job* job);
