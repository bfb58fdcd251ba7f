#include "mailbox/IndexEdits.h"

namespace quorvel {

size_t IndexEdits::RunAfter(uint32_t position) const {
  size_t k = 0;
  while (k < runs_.size() && runs_[k].newEnd <= position) ++k;
  return k;
}

uint32_t IndexEdits::SavedPosition(uint32_t position, size_t next) const {
  if (next == 0) return position;
  const EditRun& before = runs_[next - 1];
  return position - before.newEnd + before.oldEnd;
}

void IndexEdits::Shift(size_t first, int32_t by) {
  const auto step = static_cast<uint32_t>(by);
  for (size_t k = first; k < runs_.size(); ++k) {
    runs_[k].newFirst += step;
    runs_[k].newEnd += step;
  }
}

void IndexEdits::AddRun(size_t at, EditRun run) {
  // Runs that touch in the present numbering touch in the saved one too:
  // the entries between two runs are the same in both.
  if (at < runs_.size() && runs_[at].newFirst == run.newEnd) {
    runs_[at].oldFirst = run.oldFirst;
    runs_[at].newFirst = run.newFirst;
  } else {
    runs_.insert(runs_.begin() + static_cast<ptrdiff_t>(at), run);
  }
  if (at > 0 && runs_[at - 1].newEnd == runs_[at].newFirst) {
    runs_[at - 1].oldEnd = runs_[at].oldEnd;
    runs_[at - 1].newEnd = runs_[at].newEnd;
    runs_.erase(runs_.begin() + static_cast<ptrdiff_t>(at));
  }
  if (runs_.size() > kMostRuns) ChangedAll();
}

void IndexEdits::Inserted(uint32_t position) {
  if (all_) return;
  // A run that holds or touches the position takes the new entry in.
  size_t k = 0;
  while (k < runs_.size() && runs_[k].newEnd < position) ++k;
  if (k < runs_.size() && runs_[k].newFirst <= position) {
    ++runs_[k].newEnd;
    Shift(k + 1, 1);
    return;
  }
  const uint32_t saved = SavedPosition(position, k);
  Shift(k, 1);
  AddRun(k, {saved, saved, position, position + 1});
}

void IndexEdits::Removed(uint32_t position) {
  if (all_) return;
  const size_t k = RunAfter(position);
  if (k < runs_.size() && runs_[k].newFirst <= position) {
    EditRun& run = runs_[k];
    --run.newEnd;
    Shift(k + 1, -1);
    // An entry put in since the save and taken out again leaves nothing.
    if (run.oldFirst == run.oldEnd && run.newFirst == run.newEnd) {
      runs_.erase(runs_.begin() + static_cast<ptrdiff_t>(k));
    }
    return;
  }
  const uint32_t saved = SavedPosition(position, k);
  Shift(k, -1);
  AddRun(k, {saved, saved + 1, position, position});
}

void IndexEdits::Changed(uint32_t position) {
  if (all_) return;
  const size_t k = RunAfter(position);
  if (k < runs_.size() && runs_[k].newFirst <= position) return;
  const uint32_t saved = SavedPosition(position, k);
  AddRun(k, {saved, saved + 1, position, position + 1});
}

}  // namespace quorvel
