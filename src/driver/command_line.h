// The banner, the usage text, the command line and the validation of the two folders.
#pragma once

#include "driver/job.h"

void PrintBanner();
void PrintUsage();

// True when any argument is "--version"; the banner line alone is then printed.
bool AsksForVersion(int argc, const char* const* argv);
void PrintVersion();

// Sets the defaults of a new run: sequential fitting into 700 MB units, no clusters.
void SetJobDefaults(Job* job);

// Reads every argument after the program name into the Job. Returns 0 when all were accepted,
// or 1 after printing why the first bad one was not; no argument after it is read.
int ParseCommandLine(Job* job, int argc, const char* const* argv);

// Turns both folders into full paths, source first. Returns 0, or 1 after printing the reason.
int ResolveFolders(Job* job);

// Creates the plan file of -l=FILE, refusing a name that exists. Returns 0, or 1 after printing
// the reason.
int OpenPlanFile(Job* job);

// Closes and removes a plan file that was created but never written, so that a failed run
// leaves no partial plan behind.
void DiscardPlanFile(Job* job);
