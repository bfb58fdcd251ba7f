#include "exchange/NoteValues.h"

#include "text/WideText.h"
#include "platform/CodePages.h"

namespace quorvel::exchange {

bool PutNote(RecordFile& file, uint16_t tag, const std::string& note) {
  return file.PutCoded(tag, CodedTextFromMultiByte(note, platform::kCodePageWestern));
}

bool GetNote(RecordFile& file, uint16_t tag, std::string& note) {
  CodedText coded = CodedText::Default();
  const bool found = file.GetCoded(tag, coded);
  note = MultiByteOf(coded);
  return found;
}

}  // namespace quorvel::exchange
