#include "driver/command_line.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/platform.h"
#include "text/size_text.h"

namespace {

constexpr std::uint64_t kMinimumUnitSize = 4096;
constexpr const char* kBannerLine =
    "Quorvel 1.1 - the Quorvel team          https://quorvel.example.org";

// Only A to Z are folded; any other character is taken as it is.
char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSwitch(const char* argument) {
  return argument[0] != '\0' && std::strchr(platform::kSwitchChars, argument[0]) != nullptr;
}

int RefuseSwitch(const char* argument) {
  std::printf("Don't know what to do with \"%s\".\n\n", argument);
  std::printf("  Use -? for help.\n");
  return 1;
}

// "-l" alone lists the plan; "-l=FILE" also writes it to FILE.
int ApplyListSwitch(Job* job, const char* argument) {
  const char* rest = argument + 2;
  if (rest[0] == '=' && rest[1] != '\0') {
    job->planPath = rest + 1;
  } else if (rest[0] != '\0') {
    return RefuseSwitch(argument);
  }
  job->listUnits = true;
  return 0;
}

int ApplySwitch(Job* job, const char* argument) {
  // Shells expand "-?" as a pattern, so help has the spellings users try first as well.
  if (std::strcmp(argument, "--help") == 0) return 0;
  switch (ToLowerAscii(argument[1])) {
    case 's':
      job->fitMode = 1;
      return 0;
    case 'b':
      job->fitMode = 0;
      return 0;
    case 'i':
      job->ignoreOversize = true;
      return 0;
    case '?':
    case 'h':
      return 0;
    case 'l':
      return ApplyListSwitch(job, argument);
    case 't':
      job->clusterSize = static_cast<std::uint64_t>(ParseSize(argument + 2));
      return 0;
    case 'u': {
      // A negative size is refused too: as an unsigned size it would be huge, not at least 4096.
      const std::int64_t size = ParseSize(argument + 2);
      if (size < 0 || static_cast<std::uint64_t>(size) < kMinimumUnitSize) {
        std::printf("Invalid unit size. Must be at least 4096 bytes\n");
        return 1;
      }
      job->unitSize = static_cast<std::uint64_t>(size);
      return 0;
    }
    default:
      return RefuseSwitch(argument);
  }
}

int ResolveFolder(std::string* folder, const char* invalidFormat, const char* uncMessage) {
  std::string full;
  if (!platform::FullPath(*folder, &full)) {
    std::printf(invalidFormat, folder->c_str());
    return 1;
  }
  if (!platform::HasRootForm(full)) {
    std::printf("%s", uncMessage);
    return 1;
  }
  *folder = std::move(full);
  return 0;
}

}  // namespace

void PrintBanner() {
  std::printf("%s\n\n", kBannerLine);
}

bool AsksForVersion(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) return true;
  }
  return false;
}

void PrintVersion() {
  std::printf("%s\n", kBannerLine);
}

void PrintUsage() {
  std::printf(
      "Usage: quorvel [switches] {Source Folder} [Destination Folder]\n"
      "\n"
      "  -s           Fit the units sequentially (default).\n"
      "  -b           Fit the units using a \"best fit\" strategy.\n"
      "  -i           Ignore files that are larger than the unit size.\n"
      "  -u=unitsize  Select the unit size (default 700mb). You can suffix a\n"
      "               number with \"kb\", \"mb\" or \"gb\" to simplify them.\n"
      "  -t=cluster\tSet the target cluster size to use when fitting the units\n"
      "               (default is 0)\n"
      "\n"
      "Make sure that your destination folder does not contain any files because\n"
      "Quorvel will not overwrite any existing files, instead it will fail.\n"
      "\n"
      "Examples:\n"
      "%s\n",
      platform::kUsageExample);
}

void SetJobDefaults(Job* job) {
  job->fitMode = 1;
  job->unitSize = static_cast<std::uint64_t>(ParseSize("700mb"));
}

int ParseCommandLine(Job* job, int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (IsSwitch(argument)) {
      if (ApplySwitch(job, argument) != 0) return 1;
    } else if (job->source.empty()) {
      job->source = argument;
    } else if (job->destination.empty()) {
      job->destination = argument;
    } else {
      std::printf("Already have two folder names.\n");
      return 1;
    }
  }
  return 0;
}

int ResolveFolders(Job* job) {
  if (ResolveFolder(&job->source, "Invalid source folder \"%s\".\n",
                    "UNC pathnames are not supported for the source folder.\n") != 0) {
    return 1;
  }
  if (job->destination.empty()) return 0;
  return ResolveFolder(&job->destination, "Invalid destination folder \"%s\".\n",
                       "UNC pathnames are not supported for destination folder.\n");
}

int OpenPlanFile(Job* job) {
  if (job->planPath.empty()) return 0;
  // Created here, exclusively, so that a name already taken is refused before the scan starts.
  if (platform::QueryPath(job->planPath) != platform::PathKind::kMissing) {
    std::printf("Plan file \"%s\" already exists.\n", job->planPath.c_str());
    return 1;
  }
  job->planFile = platform::CreateNewFile(job->planPath);
  if (job->planFile == nullptr) {
    std::printf("Couldn't create plan file \"%s\".\n", job->planPath.c_str());
    return 1;
  }
  return 0;
}

void DiscardPlanFile(Job* job) {
  if (job->planFile == nullptr) return;
  std::fclose(job->planFile);
  job->planFile = nullptr;
  std::remove(job->planPath.c_str());
}
