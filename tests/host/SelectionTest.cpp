// Selection capture and replacement against the simulated host. Its view form
// (POS_DEFAULT) is wrapped at a few units, so code that computes with
// POS_DEFAULT positions or mixes the forms selects the wrong text here.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "PluginLibrary.h"
#include "PluginLibrary2.h"
#include "Errors.h"
#include "SimHost.h"
#include "StringRecordList.h"

namespace {

HostPos P(int32_t x, int32_t y) { return HostPos{x, y}; }

const std::u16string kDoc =
    u"zero zero zero zero\n"         // 0
    u"one\n"                         // 1
    u"two two two two two\n"         // 2
    u"three three three three\n"     // 3
    u"four\n"                        // 4
    u"five five five five five\n"    // 5
    u"six\n"                         // 6
    u"seven seven seven";            // 7, no final break

struct Sel {
  HostPos anchor, caret;
};
Sel Widened(TSimHost& host, HostPos anchor, HostPos active) {
  host.SetSelection(anchor, active);
  ExtendSelectionToWholeLines(host.Hwnd());
  return Sel{host.Anchor(), host.Caret()};
}

std::vector<std::u16string> Inserted(const TSimHost& host) {
  std::vector<std::u16string> v;
  for (const auto& m : host.Log())
    if (m.Msg == HOST_INSERT_TEXT) v.push_back(m.Text);
  return v;
}

// Widens, then rewrites the block with `edit` applied to its text.
template <class Edit>
void Rewrite(TSimHost& host, Edit edit) {
  ExtendSelectionToWholeLines(host.Hwnd());
  std::u16string t = GetSelectedText(host.Hwnd());
  host.ClearLog();
  ReplaceSelectedLines(host.Hwnd(), edit(t));
  // Only lines that are there are read: none before the first.
  for (const auto& m : host.Log())
    if (m.Msg == HOST_GET_LINE_TEXT) EXPECT_GE(m.Line, 0);
}

}  // namespace

TEST(Selection, WideningToWholeLines) {
  TSimHost host(kDoc, 8);

  // Forward, middle of line 3 to middle of line 5: (0,3)..(0,6), caret at the end.
  Sel s = Widened(host, P(4, 3), P(2, 5));
  EXPECT_EQ(s.anchor, P(0, 3));
  EXPECT_EQ(s.caret, P(0, 6));
  EXPECT_EQ(host.SelectedText(), u"three three three three\nfour\nfive five five five five\n");

  // Backward: the caret stays at the start.
  s = Widened(host, P(2, 5), P(4, 3));
  EXPECT_EQ(s.anchor, P(0, 6));
  EXPECT_EQ(s.caret, P(0, 3));

  // Ending at column 0 of line 6 keeps that end.
  s = Widened(host, P(4, 3), P(0, 6));
  EXPECT_EQ(s.anchor, P(0, 3));
  EXPECT_EQ(s.caret, P(0, 6));

  // A caret alone selects its line with its break; an empty selection counts as caret at the start.
  s = Widened(host, P(2, 4), P(2, 4));
  EXPECT_EQ(s.caret, P(0, 4));
  EXPECT_EQ(s.anchor, P(0, 5));
  EXPECT_EQ(host.SelectedText(), u"four\n");

  // On the last line without a final break: column 0 to the end of the line.
  host.ClearLog();
  s = Widened(host, P(3, 7), P(3, 7));
  EXPECT_EQ(s.caret, P(0, 7));
  EXPECT_EQ(s.anchor, P(17, 7));
  bool askedLine = false;
  for (const auto& m : host.Log())
    if (m.Msg == HOST_GET_LINE_TEXT) {
      askedLine = true;
      EXPECT_EQ(m.Line, 7);
      EXPECT_EQ(m.Flags, 1);
    }
  EXPECT_TRUE(askedLine);
  // Everything handed to HOST_SET_SELECTION is in the view form.
  for (const auto& m : host.Log())
    if (m.Msg == HOST_SET_SELECTION) {
      EXPECT_TRUE(m.Pos == host.ToView(P(0, 7)) || m.Pos == host.ToView(P(17, 7)));
      EXPECT_TRUE(m.Pos2 == host.ToView(P(0, 7)) || m.Pos2 == host.ToView(P(17, 7)));
    }

  // Forward from line 6 into the last line.
  s = Widened(host, P(3, 6), P(5, 7));
  EXPECT_EQ(s.anchor, P(0, 6));
  EXPECT_EQ(s.caret, P(17, 7));

  // With a final break the last line is the empty one after it.
  host.SetText(kDoc + u"\r\n");
  s = Widened(host, P(3, 7), P(3, 7));
  EXPECT_EQ(s.caret, P(0, 7));
  EXPECT_EQ(s.anchor, P(0, 8));
  EXPECT_EQ(host.SelectedText(), u"seven seven seven\r\n");
  s = Widened(host, P(0, 8), P(0, 8));
  EXPECT_EQ(s.caret, P(0, 8));
  EXPECT_FALSE(host.HasSelection());
  s = Widened(host, P(3, 6), P(0, 8));  // ends at column 0 of the last line: kept
  EXPECT_EQ(s.anchor, P(0, 6));
  EXPECT_EQ(s.caret, P(0, 8));
}

TEST(Selection, CaretSideAndSelectRange) {
  TSimHost host(kDoc, 8);
  HWND h = host.Hwnd();
  host.SetSelection(P(1, 2), P(3, 5));
  EXPECT_TRUE(IsCaretAtSelectionEnd(h));
  host.SetSelection(P(3, 5), P(1, 2));
  EXPECT_FALSE(IsCaretAtSelectionEnd(h));
  host.SetCaret(P(3, 5));
  EXPECT_FALSE(IsCaretAtSelectionEnd(h));

  host.SetSelection(P(1, 2), P(3, 5));
  RestoreCaretSide(h, false);
  EXPECT_EQ(host.Caret(), P(1, 2));
  EXPECT_EQ(host.Anchor(), P(3, 5));
  RestoreCaretSide(h, true);
  EXPECT_EQ(host.Caret(), P(3, 5));
  EXPECT_EQ(host.Anchor(), P(1, 2));

  host.ClearLog();
  const HostPos v = host.ToView(P(2, 3));
  SelectRange(h, v, v);
  EXPECT_EQ(host.CountOf(HOST_SET_SELECTION), 0);
  EXPECT_EQ(host.CountOf(HOST_SET_CARET_POS), 1);
  EXPECT_EQ(host.Caret(), P(2, 3));
  EXPECT_FALSE(host.HasSelection());
}

TEST(Selection, LineBreakKind) {
  EXPECT_EQ(GetLineBreakKind(u"ab\r\n"), lbCrLf);
  EXPECT_EQ(GetLineBreakKind(u"ab\r"), lbCr);
  EXPECT_EQ(GetLineBreakKind(u"ab\n"), lbLf);
  EXPECT_EQ(GetLineBreakKind(u"ab"), lbNone);
  EXPECT_EQ(GetLineBreakKind(u""), lbNone);
  EXPECT_EQ(GetLineBreakKind(u"\r\n"), lbCrLf);
  EXPECT_EQ(GetLineBreakKind(u"\n\r"), lbCr);
  EXPECT_EQ(GetLineBreakKind(u"\r"), lbCr);
  EXPECT_EQ(GetLineBreakKind(u"\n"), lbLf);
  EXPECT_EQ(GetLineBreakKind(u"a\r\nb"), lbNone);
}

TEST(Selection, TwoStepReadsSurviveStrangeAnswers) {
  TSimHost host(u"first line\r\nsecond", 8);
  HWND h = host.Hwnd();
  host.SetSelection(P(6, 0), P(3, 1));
  const std::u16string sel = u"line\r\nsec";

  struct Case {
    TSimReadQuirk quirk;
    std::u16string selected, line0, line1;
    int messages;  // per read
  } cases[] = {
      {srNormal, sel, u"first line\r\n", u"second", 2},
      {srSizeZero, u"", u"", u"", 1},
      {srSizeNegative, u"", u"", u"", 1},
      {srNoNul, sel, u"first line\r\n", u"second", 2},  // kept whole: all n units
      {srOversize, sel, u"first line\r\n", u"second", 2},  // cut at the NUL, the rest ignored
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.quirk));
    host.SetReadQuirk(c.quirk);
    host.ClearLog();
    EXPECT_EQ(GetSelectedText(h), c.selected);
    EXPECT_EQ(host.CountOf(HOST_GET_SEL_TEXT), c.messages);
    if (c.messages == 2) {  // the fill names exactly the size the host asked for
      EXPECT_EQ(host.Log()[1].Count, host.Log()[0].Result);
      EXPECT_TRUE(host.Log()[1].HasBuffer);
    }
    host.ClearLog();
    EXPECT_EQ(GetLineText(h, 0, 1), c.line0);
    EXPECT_EQ(GetLineText(h, 1, 1), c.line1);
    EXPECT_EQ(host.CountOf(HOST_GET_LINE_TEXT), 2 * c.messages);
    if (c.messages == 2) {
      EXPECT_EQ(host.Log()[1].Count, host.Log()[0].Result);
    }
  }

  // An empty selection reads as the empty text; an unknown line too.
  host.SetReadQuirk(srNormal);
  host.SetCaret(P(2, 0));
  EXPECT_EQ(GetSelectedText(h), u"");
  EXPECT_EQ(GetLineText(h, 5, 1), u"");
  host.SetReadQuirk(srNoNul);
  EXPECT_EQ(GetSelectedText(h), u"");

  // Position records the host leaves unfilled: nothing undefined is read,
  // and rewriting with the same text changes nothing.
  host.SetReadQuirk(srNormal);
  host.SetFillPositions(false);
  host.SetSelection(P(1, 0), P(2, 1));
  EXPECT_FALSE(IsCaretAtSelectionEnd(h));
  ExtendSelectionToWholeLines(h);
  ReplaceSelectedLines(h, GetSelectedText(h));
  EXPECT_EQ(host.Text(), u"first line\r\nsecond");
}

// Whether a NUL cut the selected text short is told by what the text up to
// its first NUL covers of the widened block, never by what the host left
// after the NUL that ends it: generous hosts leave zeros or junk there.
TEST(Selection, NulDecisionLooksOnlyAtTheTextBeforeTheTerminator) {
  struct Case {
    std::u16string doc;
    HostPos anchor, caret;
    bool nulInside;
    std::u16string text;  // what is read, up to the first NUL
  } cases[] = {
      {u"x\n> a\n> b", P(0, 1), P(1, 2), false, u"> a\n> b"},
      {std::u16string(u"x\n> a\0\n> b", 10), P(0, 1), P(1, 2), true, u"> a"},            // right before a break
      {std::u16string(u"x\n> \0a\n> b\n", 11), P(0, 1), P(1, 2), true, u"> "},           // inside a line
      {std::u16string(u"\0a\nb", 4), P(1, 1), P(0, 0), true, u""},                      // the block's first unit
      {std::u16string(u"x\n> a\r\n\0\r\nz", 11), P(0, 1), P(0, 3), true, u"> a\r\n"},    // a line that is only a NUL
      {std::u16string(u"x\n> a\n> b\0", 10), P(0, 1), P(1, 2), false, u"> a\n> b"},    // ends the last line: outside
      {std::u16string(u"a\nb\0\nc", 6), P(0, 0), P(0, 1), false, u"a\n"},               // on the line after the block
      {std::u16string(u"a\r\0\nb", 5), P(0, 0), P(0, 2), true, u"a\r"},                  // between CR and LF
      {u"a\n", P(0, 1), P(0, 1), false, u""},                                           // the empty last line
  };
  const TSimReadProfile profiles[] = {rpExact, rpGenerousJunk, rpGenerousZeros};
  for (const TSimReadProfile profile : profiles) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "profile " << static_cast<int>(profile) << ", case " << &c - cases);
      TSimHost host(c.doc, 4);
      host.SetReadProfile(profile, 7);
      host.SetSelection(c.anchor, c.caret);
      const THostSelection original = ExtendSelectionToWholeLines(host.Hwnd());
      const TSelectedText read = ReadSelectedText(host.Hwnd(), original.Widened);
      EXPECT_EQ(read.NulInside, c.nulInside);
      EXPECT_EQ(read.Text, c.text);
      EXPECT_EQ(GetSelectedText(host.Hwnd()), c.text);
    }
    // Lines read with their break: a NUL that leaves one without it cut it.
    TSimHost host(std::u16string(u"a\0b\r\nc\r\n\0\nd\0", 13), 4);
    host.SetReadProfile(profile, 7);
    const std::pair<std::u16string, bool> lines[] = {{u"a", true}, {u"c\r\n", false}, {u"", true}};
    for (int32_t y = 0; y < 3; ++y) {
      const TLineText line = ReadLineText(host.Hwnd(), y);
      EXPECT_EQ(line.Text, lines[y].first) << y;
      EXPECT_EQ(line.CutBeforeBreak, lines[y].second) << y;
    }
    EXPECT_EQ(GetLineText(host.Hwnd(), 3, 1), u"d");
  }
}

TEST(Selection, RewriteSendsOnlyChangedLines) {
  auto prefixLines = [](std::u16string t, std::vector<int> which, std::u16string_view sym) {
    // Puts sym at the head of the given line indexes of t.
    TCommonStringRecordList l;
    l.SetText(t);
    for (int i : which) l.SetItems(i, std::u16string(sym) + l.Items(i));
    return l.Text();
  };

  // CR LF document: the changed lines' content is replaced, their CR LF stays.
  std::u16string crlf = u"head\r\nalpha alpha\r\nbeta beta beta\r\ngamma\r\ndelta delta\r\ntail";
  TSimHost host(crlf, 8);
  host.SetSelection(P(2, 1), P(3, 4));
  Rewrite(host, [&](std::u16string t) { return prefixLines(t, {0, 2}, u"> "); });
  EXPECT_EQ(host.Text(), u"head\r\n> alpha alpha\r\nbeta beta beta\r\n> gamma\r\ndelta delta\r\ntail");
  EXPECT_EQ(Inserted(host), (std::vector<std::u16string>{u"> alpha alpha", u"> gamma"}));
  std::vector<int32_t> counts;
  for (const auto& m : host.Log())
    if (m.Msg == HOST_SELECT_CHARS) counts.push_back(m.Count);
  EXPECT_EQ(counts, (std::vector<int32_t>{11, 5, 53}));  // content only, then the whole new block
  EXPECT_EQ(host.SelectedText(), u"> alpha alpha\r\nbeta beta beta\r\n> gamma\r\ndelta delta\r\n");
  EXPECT_EQ(host.Anchor(), P(0, 1));
  EXPECT_EQ(host.Caret(), P(0, 5));

  // LF document: each changed line goes with its LF; a backward selection keeps its caret at the start.
  std::u16string lf = u"head\nalpha alpha\nbeta beta beta\ngamma\ndelta delta\ntail";
  host.SetText(lf);
  host.SetSelection(P(3, 4), P(2, 1));
  Rewrite(host, [&](std::u16string t) { return prefixLines(t, {1, 3}, u"// "); });
  EXPECT_EQ(host.Text(), u"head\nalpha alpha\n// beta beta beta\ngamma\n// delta delta\ntail");
  EXPECT_EQ(Inserted(host), (std::vector<std::u16string>{u"// beta beta beta\n", u"// delta delta\n"}));
  EXPECT_EQ(host.Caret(), P(0, 1));
  EXPECT_EQ(host.Anchor(), P(0, 5));

  // Nothing changed: no text goes to the host, the block stays selected.
  host.SetSelection(P(0, 1), P(0, 3));
  Rewrite(host, [](std::u16string t) { return t; });
  EXPECT_TRUE(Inserted(host).empty());
  EXPECT_EQ(host.Text(), u"head\nalpha alpha\n// beta beta beta\ngamma\n// delta delta\ntail");
  EXPECT_EQ(host.Anchor(), P(0, 1));
  EXPECT_EQ(host.Caret(), P(0, 3));

  // Mixed breaks, the last line without one.
  host.SetText(u"a\r\nb\rc\nd");
  host.SetSelection(P(0, 0), P(1, 3));
  Rewrite(host, [](std::u16string) { return std::u16string(u"A\r\nb\rC\nD"); });
  EXPECT_EQ(host.Text(), u"A\r\nb\rC\nD");
  EXPECT_EQ(Inserted(host), (std::vector<std::u16string>{u"A", u"C\n", u"D"}));
  EXPECT_EQ(host.SelectedText(), u"A\r\nb\rC\nD");
}

TEST(Selection, RewriteWithMoreOrFewerLines) {
  const std::u16string doc = u"one one one\r\ntwo two\r\nthree three\r\nfour\r\n";
  TSimHost host(doc, 8);

  // One line more: the lines cannot be paired, so the block is replaced whole.
  host.SetSelection(P(1, 1), P(1, 2));
  Rewrite(host, [](std::u16string t) { return u"> " + t + u"new line\r\n"; });
  EXPECT_EQ(host.Text(), u"one one one\r\n> two two\r\nthree three\r\nnew line\r\nfour\r\n");
  EXPECT_EQ(Inserted(host), (std::vector<std::u16string>{u"> two two\r\nthree three\r\nnew line\r\n"}));
  EXPECT_EQ(host.SelectedText(), u"> two two\r\nthree three\r\nnew line\r\n");
  EXPECT_EQ(host.Caret(), P(0, 4));

  // One line fewer: replaced whole as well.
  host.SetText(doc);
  host.SetSelection(P(0, 3), P(2, 0));  // backward
  Rewrite(host, [](std::u16string) { return std::u16string(u"one one one\r\n2\r\n"); });
  EXPECT_EQ(host.Text(), u"one one one\r\n2\r\nfour\r\n");
  EXPECT_EQ(Inserted(host), (std::vector<std::u16string>{u"one one one\r\n2\r\n"}));
  EXPECT_EQ(host.SelectedText(), u"one one one\r\n2\r\n");
  EXPECT_EQ(host.Caret(), P(0, 0));
  EXPECT_EQ(host.Anchor(), P(0, 2));

  // Many more lines into a one-line block, and a block shrunk to one line.
  host.SetText(doc);
  host.SetCaret(P(2, 1));
  Rewrite(host, [](std::u16string) { return std::u16string(u"x\r\ny\r\nz\r\n"); });
  EXPECT_EQ(host.Text(), u"one one one\r\nx\r\ny\r\nz\r\nthree three\r\nfour\r\n");
  EXPECT_EQ(host.Caret(), P(0, 1));  // a caret without selection counts as the start side
  EXPECT_EQ(host.SelectedText(), u"x\r\ny\r\nz\r\n");
  host.SetSelection(P(0, 1), P(0, 4));
  Rewrite(host, [](std::u16string) { return std::u16string(u"xyz\r\n"); });
  EXPECT_EQ(host.Text(), u"one one one\r\nxyz\r\nthree three\r\nfour\r\n");
  EXPECT_EQ(host.Caret(), P(0, 2));

  // The whole last line deleted while the caret stands at the selection's
  // end: the deletion must start at the block, not after it.
  host.SetText(u"keep\n> ");
  host.SetSelection(P(0, 1), P(2, 1));
  Rewrite(host, [](std::u16string t) {
    EXPECT_EQ(t, u"> ");
    return std::u16string();
  });
  EXPECT_EQ(host.Text(), u"keep\n");
  host.SetText(u"keep\n> \nnext");
  host.SetSelection(P(0, 1), P(0, 2));
  Rewrite(host, [](std::u16string) { return std::u16string(); });
  EXPECT_EQ(host.Text(), u"keep\nnext");
}

TEST(Selection, RewriteLeavingALineOfOnlyItsLf) {
  // The block's first line left holding only its LF joins a line before it
  // that ends in a lone CR; at the document's first line there is none.
  struct {
    std::u16string doc;
    HostPos from, to;
    std::u16string after;
  } const cases[] = {
      {u"> \nx\n", P(0, 0), P(1, 0), u"\nx\n"},
      {u"> \n", P(0, 0), P(1, 0), u"\n"},
      {u"> \n> \n", P(0, 0), P(1, 1), u"\n\n"},
      {u"a\r> \nb", P(0, 1), P(1, 1), u"a\r\nb"},
      {u"a\r\n> \nb", P(0, 1), P(1, 1), u"a\r\n\nb"},
  };
  for (const auto& c : cases) {
    TSimHost host(c.doc, 8);
    host.SetSelection(c.from, c.to);
    Rewrite(host, [](std::u16string t) {
      for (size_t at = 0; (at = t.find(u"> ", at)) != std::u16string::npos;) t.erase(at, 2);
      return t;
    });
    EXPECT_EQ(host.Text(), c.after) << static_cast<int>(c.from.y);
  }
}

// The host takes NUL-terminated texts. A new text with a NUL in it would
// reach the document cut short, losing the rest of its line; a NUL in the
// line before the block hides whether the block's first line, left holding
// only its LF, would join that line's lone CR. Both throw EWriteRefused
// before anything is written, leaving the widened selection for the caller
// to put back.
TEST(Selection, RewriteRefusalsWriteNothing) {
  struct {
    std::u16string doc;
    std::u16string newText;
    bool anySent;  // false: not even a read reaches the host
  } const cases[] = {
      {u"abc\r\ndef\nghi\nz", std::u16string(u"x\0y", 3) + u" def\nghi\n", false},
      {std::u16string(u"a\0b\r> \n> c\nz", 12), u"\nc\n", true},
  };
  for (const auto& c : cases) {
    TSimHost host(c.doc, 8);
    host.SetSelection(P(1, 1), P(1, 2));
    ExtendSelectionToWholeLines(host.Hwnd());
    host.ClearLog();
    EXPECT_THROW(ReplaceSelectedLines(host.Hwnd(), c.newText), EWriteRefused);
    EXPECT_EQ(host.Text(), c.doc);
    EXPECT_EQ(host.Log().empty(), !c.anySent);
    for (const UINT write : {HOST_INSERT_TEXT, HOST_SELECT_CHARS, HOST_SET_CARET_POS, HOST_SET_SELECTION})
      EXPECT_EQ(host.CountOf(write), 0) << write;
    EXPECT_EQ(host.Anchor(), P(0, 1));
    EXPECT_EQ(host.Caret(), P(0, 3));
  }
}

TEST(Selection, RewriteOfAHundredThousandLines) {
  const int n = 100000;
  std::u16string doc, expected;
  for (int i = 0; i < n; ++i) {
    std::u16string line = u"line " + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u" of a long text";
    const char16_t* brk = i % 3 == 0 ? u"\r\n" : (i % 3 == 1 ? u"\n" : u"\r");
    doc += line + brk;
    expected += (i % 2 == 0 ? u"> " + line : line) + brk;
  }
  doc += u"after";
  expected += u"after";
  TSimHost host(doc, 40);
  host.SetLogging(false);
  host.SetSelection(P(3, 0), P(4, n - 1));
  Rewrite(host, [&](std::u16string t) {
    EXPECT_EQ(t.size() + 5, doc.size());
    TCommonStringRecordList l;
    l.SetText(t);
    for (int i = 0; i < l.Count(); i += 2) l.SetItems(i, u"> " + l.Items(i));
    return l.Text();
  });
  EXPECT_EQ(host.Text(), expected);
  EXPECT_EQ(host.CountOf(HOST_INSERT_TEXT), n / 2);
  EXPECT_EQ(host.Anchor(), P(0, 0));
  EXPECT_EQ(host.Caret(), P(0, n));
  EXPECT_EQ(host.SelectedText().size(), expected.size() - 5);
}
