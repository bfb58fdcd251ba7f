// What changed in an index's entries since its last save, as a few runs:
// entries [oldFirst, oldEnd) of the saved index became entries [newFirst,
// newEnd) of the present one. Between two runs the entries stand as saved,
// only shifted, so a save encodes the runs' entries and nothing else, and
// finds where they go without walking the index.
//
// Each change costs a pass over the runs, not over the entries. Changes
// spread over more than kMostRuns places count as a change of everything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel {

struct EditRun {
  uint32_t oldFirst = 0;
  uint32_t oldEnd = 0;
  uint32_t newFirst = 0;
  uint32_t newEnd = 0;
  bool operator==(const EditRun&) const = default;
};

class IndexEdits {
 public:
  static constexpr size_t kMostRuns = 128;

  // An entry was put in before the present entry `position` (or at the end).
  void Inserted(uint32_t position);
  // The present entry `position` was taken out.
  void Removed(uint32_t position);
  // The present entry `position` may have changed.
  void Changed(uint32_t position);
  // Every entry may have changed (the index was replaced, or it is not known
  // what the last save holds).
  void ChangedAll() {
    runs_.clear();
    all_ = true;
  }
  // The index was saved as it is.
  void Clear() {
    runs_.clear();
    all_ = false;
  }

  bool AllChanged() const { return all_; }
  // In file order; none overlap or touch.
  const std::vector<EditRun>& Runs() const { return runs_; }

 private:
  // The first run that ends after `position` (present numbering), or the
  // number of runs.
  size_t RunAfter(uint32_t position) const;
  // Where the present entry `position`, outside every run, stood at the
  // save; `next` is the first run after it.
  uint32_t SavedPosition(uint32_t position, size_t next) const;
  // The runs from `first` on moved by `by` in the present numbering.
  void Shift(size_t first, int32_t by);
  // A run of its own for an entry outside every run, joined to the runs it
  // touches.
  void AddRun(size_t at, EditRun run);

  std::vector<EditRun> runs_;
  bool all_ = false;
};

}  // namespace quorvel
