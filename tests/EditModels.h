// Models of what the engine decides, for the tests: which edits work line
// by line, and toggle's choice on a whole UTF-16 text.
#pragma once

#include <string_view>

#include "EditUnit.h"
#include "LineBreaks.h"
#include "StringUnit.h"

// True when the edit of every line depends on that line alone, so that a
// text can be edited piece by piece (whole lines each) with the same
// result: every deletion, and insertion at the line head in all or in the
// non-blank lines.
inline bool EditWorksLineByLine(const TEdit& Edit) {
  switch (Edit.Kind) {
    case ekInsert: return Edit.Position == ipLineHead && (Edit.Target == tlAll || Edit.Target == tlNonBlank);
    case ekDeleteGiven:
    case ekDeleteOnce:
    case ekDeleteAll: return true;
  }
  return false;
}

// Toggle's choice for a whole text (TToggleChoice), line by line.
inline TToggleChoice ChooseToggle(std::u16string_view Text, std::u16string_view Symbol) {
  const std::u16string_view trimmed = TrimView(Symbol);
  bool nonBlank = false;
  for (size_t start = 0; start < Text.size();) {
    const size_t end = LineEndAt(Text, start);
    const std::u16string_view line = Text.substr(start, end - start);
    const std::u16string_view content = line.substr(0, line.size() - BreakLength(line));
    start = end;
    const std::u16string_view rest = content.substr(IndentLength(content));
    if (rest.empty()) continue;
    nonBlank = true;
    const bool holds = (!Symbol.empty() && rest.starts_with(Symbol)) || (!trimmed.empty() && rest.starts_with(trimmed));
    if (!holds) return tcInsert;
  }
  return nonBlank ? tcDelete : tcKeep;
}
