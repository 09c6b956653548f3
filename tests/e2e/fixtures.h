// Source trees shared by the end-to-end tests of whole runs.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "run_tool.h"

namespace e2e {
namespace fs = std::filesystem;
using Files = std::vector<std::string>;

class RunTest : public testing::Test {
 protected:
  fs::path Src(const std::string& relative = "") const { return temp_.path() / "src" / relative; }
  std::string src() const { return temp_.str() + "/src"; }
  std::string dest() const { return temp_.str() + "/dest"; }
  // Where a source file lands in a unit: the whole source path below "Unit NN".
  std::string InUnit(const std::string& unit, const std::string& relative) const {
    return unit + src() + "/" + relative;
  }
  std::string Summary(int files, int folders, int units, const std::string& unitSize) const {
    return "\nRedistributed " + std::to_string(files) + " files in " + std::to_string(folders) +
           " folders\n           to " + std::to_string(units) + " units of " + unitSize +
           " bytes\n";
  }

  TempDir temp_;
};

// a.txt sits in the source folder itself; sub/ holds b.txt and c.txt.
class SmallTreeTest : public RunTest {
 protected:
  void SetUp() override {
    WriteFile(Src("a.txt"), 6000);
    WriteFile(Src("sub/b.txt"), 6000);
    WriteFile(Src("sub/c.txt"), 3000);
    fs::permissions(Src("sub/c.txt"), fs::perms(0751));
    fs::last_write_time(Src("sub/b.txt"), fs::file_time_type(std::chrono::seconds(1100000000)));
  }
};

}  // namespace e2e
