// CodedTextArray: an owning list of CodedText, as hosts pass lists of names
// to the library (for example the names kept with a filed item).
#pragma once

#include "quorvel/CodedText.h"
#include "quorvel/GrowableArray.h"

class CodedTextArray : public OwningArray<CodedText> {
 public:
  using OwningArray<CodedText>::OwningArray;
};
