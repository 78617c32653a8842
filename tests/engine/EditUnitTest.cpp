// The edit model: an edit said to work line by line gives the same text when
// applied to pieces of whole lines one by one as when applied to the whole.
#include <gtest/gtest.h>

#include <random>

#include "EditModels.h"
#include "EditUnit.h"
#include "RandomText.h"
#include "StringRecordList.h"
#include "Utf.h"

namespace {

std::vector<TEdit> EveryEdit() {
  std::vector<TEdit> edits;
  for (TInsertPosition p : {ipLineHead, ipFirstChar})
    for (TTargetLines t : {tlAll, tlNonBlank, tlLeastIndent, tlAfterBlank}) edits.push_back({ekInsert, p, t, u"> ", {}, {}});
  edits.push_back({ekDeleteGiven, ipLineHead, tlAll, u"> ", {}, {}});
  edits.push_back({ekDeleteOnce, ipLineHead, tlAll, u"", {u"> ", u"#"}, {}});
  edits.push_back({ekDeleteAll, ipLineHead, tlAll, u"", {u"> ", u"#"}, {}});
  return edits;
}

TEST(EditWorksLineByLine, PiecesOfWholeLinesGiveTheWholeResult) {
  std::mt19937 rng(7);
  for (const TEdit& edit : EveryEdit()) {
    if (!EditWorksLineByLine(edit)) continue;
    for (int round = 0; round < 3000; ++round) {
      const std::u16string text = RandomText(rng, 24);
      if (text.empty()) continue;  // no lines to cut: the empty text is edited whole
      TCommonStringRecordList lines;
      lines.SetText(text);
      std::u16string pieces;
      std::u16string piece;
      for (int32_t i = 0; i < lines.Count(); ++i) {
        piece += lines.Item(i);
        if (rng() % 2 == 0 || i + 1 == lines.Count()) {
          pieces += ApplyEdit(piece, edit);
          piece.clear();
        }
      }
      ASSERT_EQ(Utf16ToUtf8Lossy(pieces), Utf16ToUtf8Lossy(ApplyEdit(text, edit)))
          << "kind " << int(edit.Kind) << ", position " << int(edit.Position) << ", target " << int(edit.Target)
          << ", text " << Utf16ToUtf8Lossy(text);
    }
  }
}

}  // namespace
