// The whole command line, as any argument vector: reading it must never fault, and what it
// accepts must be a usable run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The program's messages would drown the fuzzer's own.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Arguments are separated by NUL bytes, as the kernel hands them over.
  std::vector<std::string> arguments = {"quorvel"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\0') {
      arguments.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  arguments.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(arguments.size());

  if (AsksForVersion(argc, argv.data())) return 0;
  Job job;
  SetJobDefaults(&job);
  const int parsed = ParseCommandLine(&job, argc, argv.data());
  if (parsed != 0 && parsed != 1) std::abort();
  if (parsed == 0 && job.unitSize < 4096) std::abort();  // no unit below a cluster
  if (parsed == 0 && !job.source.empty()) {
    const int resolved = ResolveFolders(&job);
    if (resolved != 0 && resolved != 1) std::abort();
    if (resolved == 0 && !platform::HasRootForm(job.source)) std::abort();
  }
  FreeJob(&job);
  return 0;
}
