#include "planner/unit_order.h"

#include <new>

namespace {

void GroupByUnit(const Job& job, std::size_t units, UnitOrder* order) {
  order->begin.assign(units + 1, 0);
  for (const FileEntry* file = job.fileHead; file != nullptr; file = file->next) {
    if (file->unit >= 0) ++order->begin[static_cast<std::size_t>(file->unit) + 1];
  }
  for (std::size_t unit = 0; unit < units; ++unit) order->begin[unit + 1] += order->begin[unit];
  order->files.assign(order->begin[units], nullptr);
  std::vector<std::size_t> next(order->begin.begin(), order->begin.end() - 1);
  for (FileEntry* file = job.fileHead; file != nullptr; file = file->next) {
    if (file->unit >= 0) order->files[next[static_cast<std::size_t>(file->unit)]++] = file;
  }
}

}  // namespace

ResultCode OrderFilesByUnit(const Job& job, UnitOrder* order) {
  // Fitting leaves no unit above highestUnit, so every placed file has its slot.
  try {
    GroupByUnit(job, static_cast<std::size_t>(job.highestUnit) + 1, order);
  } catch (const std::bad_alloc&) {
    return RESULT_OUT_OF_MEMORY;
  }
  return RESULT_NONE;
}

std::span<FileEntry* const> FilesOfUnit(const UnitOrder& order, int unit) {
  const std::size_t index = static_cast<std::size_t>(unit);
  return std::span<FileEntry* const>(order.files)
      .subspan(order.begin[index], order.begin[index + 1] - order.begin[index]);
}
