#include "driver/run_job.h"

int main(int argc, char** argv) {
  return RunQuorvel(argc, argv);
}
