#include "driver/run_job.h"

#include <cstdio>
#include <new>

#include "catalogue/scan.h"
#include "driver/command_line.h"
#include "planner/fit.h"
#include "planner/plan_listing.h"
#include "planner/unit_order.h"
#include "platform/platform.h"
#include "text/size_text.h"
#include "writer/copy_units.h"

namespace {

ResultCode VerifyPlan(const Job& job) {
  ResultCode result = RESULT_NONE;
  for (const FileEntry* file = job.fileHead; file != nullptr; file = file->next) {
    if (file->unit == UNIT_UNASSIGNED) {
      std::printf("Error! File not allocated to a unit: \"%s\"\n", FilePath(*file).c_str());
      result = RESULT_INTERNAL_ERROR;
    }
  }
  return result;
}

// Command line and folder validation; 0 to go on with the run, or the exit status to end with.
int PrepareJob(Job* job, int argc, const char* const* argv, bool* showUsage) {
  SetJobDefaults(job);
  if (ParseCommandLine(job, argc, argv) != 0) return 1;
  if (job->source.empty()) {
    *showUsage = true;
    return 0;
  }
  if (ResolveFolders(job) != 0) return 1;
  return OpenPlanFile(job);
}

// The plan grouped by unit, for the listing and the copy; a scan-only run without a listing
// does not need it.
ResultCode ShowAndWritePlan(Job* job, UnitOrder* order) {
  if (job->destination.empty() && !job->listUnits) return RESULT_NONE;
  const ResultCode result = OrderFilesByUnit(*job, order);
  if (result != RESULT_NONE) return result;
  if (job->listUnits) PrintUnitListing(*job, *order);
  return job->planFile != nullptr ? WritePlanFile(job, *order) : RESULT_NONE;
}

}  // namespace

ResultCode RunJob(Job* job) {
  if (job == nullptr || job->source.empty()) return RESULT_BAD_PARAMETER;
  if (platform::QueryPath(job->source) != platform::PathKind::kFolder) return RESULT_BAD_SOURCE;
  if (!job->destination.empty()) {
    std::printf("* Creating units in \"%s\"\n", job->destination.c_str());
  } else {
    std::printf("* Scan only - not creating units\n");
  }
  ResultCode result = ScanSource(job);
  if (result != RESULT_NONE) return result;
  result = FitFiles(job);
  if (result != RESULT_NONE) return result;
  result = VerifyPlan(*job);
  if (result != RESULT_NONE) return result;
  UnitOrder order;
  result = ShowAndWritePlan(job, &order);
  if (result != RESULT_NONE) return result;
  return CopyUnits(job, order);
}

void PrintReport(const Job& job, ResultCode result) {
  if (result != RESULT_NONE) {
    std::printf("Quorvel failed: %s\n", ResultMessage(result));
    return;
  }
  std::printf("\nRedistributed %s files in %s folders\n           to %s units of %s bytes\n",
              FormatCount(job.fileCount).c_str(), FormatCount(job.folderCount).c_str(),
              FormatCount(job.highestUnit + 1).c_str(),
              FormatCount(static_cast<std::int64_t>(job.unitSize)).c_str());
  if (job.ignoreOversize) {
    std::printf("Ignored %s %s larger than the unit size\n", FormatCount(job.oversizeCount).c_str(),
                job.oversizeCount == 1 ? "file which was" : "files which were");
  }
}

int RunQuorvel(int argc, const char* const* argv) {
  if (AsksForVersion(argc, argv)) {
    PrintVersion();
    return 0;
  }
  PrintBanner();
  Job* job = new (std::nothrow) Job;
  if (job == nullptr) {
    std::printf("Quorvel failed: %s\n", ResultMessage(RESULT_OUT_OF_MEMORY));
    return RESULT_OUT_OF_MEMORY;
  }
  bool showUsage = false;
  int status = PrepareJob(job, argc, argv, &showUsage);
  if (showUsage) {
    PrintUsage();
  } else if (status == 0) {
    const ResultCode result = RunJob(job);
    PrintReport(*job, result);
    status = result;
  }
  DiscardPlanFile(job);
  FreeJob(job);
  delete job;
  return status;
}
