// The whole command, chosen in the real popup menu of Marquill.dll in the
// simulated host, against a model that never asks the host: the widened
// block cut from the document, edited by the engine, put back between the
// untouched text before and after it. Random documents mix CR, LF and CR LF
// line ends and hold NULs here and there (inside lines, before their breaks,
// at the document's end, alone on a line), and now and then a symbol holds
// one; the cases are shared out among
// the host's read profiles (exact sizes, generous sizes with junk or zeros
// after the NUL that ends a text). The seed is fixed and printed with any
// failure.
// MARQUILL_MODEL_CASES sets the number of cases (a longer run by hand),
// MARQUILL_MODEL_SEED the seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "EditUnit.h"
#include "LineBreaks.h"
#include "PluginHarness.h"
#include "StringRecordList.h"
#include "SymbolEntryUnit.h"
#include "Utf.h"

#ifndef MARQUILL_DLL_PATH
#error "MARQUILL_DLL_PATH must name the built Marquill.dll"
#endif

namespace {

uint64_t FromEnvironment(const char* name, uint64_t fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::strtoull(v, nullptr, 10) : fallback;
}

// A text with its breaks and odd characters spelled out, for failure reports.
std::string Shown(std::u16string_view s) { return QuotedVisible(s); }

std::string Shown(HostPos p) {
  char text[32];
  std::snprintf(text, sizeof text, "(%d,%d)", static_cast<int>(p.x), static_cast<int>(p.y));
  return text;
}

// The document's lines as the host numbers them: the lines of the text, and
// an empty last line after a final break (or for an empty text).
struct TLines {
  std::vector<size_t> Start;  // offset of each line
  std::vector<size_t> End;    // offset past its break
  std::vector<size_t> Content;  // length without the break

  explicit TLines(std::u16string_view text) {
    size_t at = 0;
    while (at < text.size()) {
      const size_t end = LineEndAt(text, at);
      Add(at, end, end - at - BreakLength(text.substr(at, end - at)));
      if (BreakLength(text.substr(at, end - at)) == 0) return;
      at = end;
    }
    Add(at, at, 0);
  }
  void Add(size_t start, size_t end, size_t content) {
    Start.push_back(start);
    End.push_back(end);
    Content.push_back(content);
  }
  int32_t Last() const { return static_cast<int32_t>(Start.size()) - 1; }
  size_t Offset(HostPos p) const { return Start[static_cast<size_t>(p.y)] + static_cast<size_t>(p.x); }
  HostPos Pos(size_t offset) const {
    const auto it = std::upper_bound(Start.begin(), Start.end(), offset);
    const auto y = static_cast<size_t>(it - Start.begin()) - 1;
    return HostPos{static_cast<int32_t>(offset - Start[y]), static_cast<int32_t>(y)};
  }
};

bool Before(HostPos a, HostPos b) { return a.y != b.y ? a.y < b.y : a.x < b.x; }

// Menu choices: the eight insertions, the three deletions, キャンセル and Esc.
enum TChoiceKind { ckInsert, ckDeleteOnce, ckDeleteAll, ckDeleteGiven, ckCancel, ckEscape };
struct TChoice {
  TChoiceKind Kind = ckEscape;
  int Position = 0, Target = 0, Entry = 0;
};

std::vector<UINT> KeysOf(const TChoice& c) {
  switch (c.Kind) {
    case ckInsert: return MenuKeys({c.Position, c.Target, c.Entry});
    case ckDeleteOnce: return MenuKeys({2, 0});
    case ckDeleteAll: return MenuKeys({2, 1});
    case ckDeleteGiven: return MenuKeys({2, 2, c.Entry});
    case ckCancel: return MenuKeys({4});
    case ckEscape: break;
  }
  return {VK_ESCAPE};
}

std::string Shown(const TChoice& c) {
  const char* names[] = {"insert", "delete once", "delete all", "delete given", "cancel", "escape"};
  return std::string(names[c.Kind]) + " position " + std::to_string(c.Position) + " target " +
         std::to_string(c.Target) + " entry " + std::to_string(c.Entry);
}

// What the user should see after the command.
struct TExpected {
  std::u16string Text;
  HostPos Anchor{0, 0}, Caret{0, 0};
  std::u16string OldBlock, NewBlock;
  std::u16string Box;  // the error box's text, empty for none
};

const std::u16string kNul(1, u'\0');

// Line y with its break as the plug-in reads it: up to its first NUL.
size_t ReadLength(std::u16string_view doc, const TLines& lines, int32_t y) {
  if (y < 0 || y > lines.Last()) return 0;
  const auto i = static_cast<size_t>(y);
  const std::u16string_view line = doc.substr(lines.Start[i], lines.End[i] - lines.Start[i]);
  return std::min(line.find(u'\0'), line.size());
}

bool HoldsNul(std::u16string_view doc, const TLines& lines, int32_t y) {
  return ReadLength(doc, lines, y) < lines.End[static_cast<size_t>(y)] - lines.Start[static_cast<size_t>(y)];
}

std::u16string FirstLine(std::u16string_view text) { return std::u16string(text.substr(0, LineEndAt(text, 0))); }

class TModelCase {
public:
  explicit TModelCase(uint64_t seed) : FRandom(seed) {}

  std::u16string Settings() {
    static const char16_t* const symbols[] = {u"> ", u">", u"'", u"//", u"#", u"REM ", u"＞", u"\u3000>", u" -"};
    std::u16string text;
    if (Chance(60)) text += u"> \tquote\r\n";  // the symbol of quoted blank lines
    const int n = Int(0, 3);
    for (int i = 0; i < n; ++i) {
      if (Chance(10)) text += u"no tab here\r\n";  // dropped before the menu is built
      if (Chance(4))
        text += u"x" + kNul + u" ";  // a symbol the plug-in must never write
      else
        text += symbols[Int(0, 8)];
      text += u"\tcaption\r\n";
    }
    return text;
  }

  std::u16string Document() {
    static const char16_t* const pieces[] = {u"a",  u"bc", u" ",  u"\t", u"\u3000", u"> ", u">",  u"'",
                                             u"//", u"#",  u"REM ", u"＞", u"\U0001F600", u"x y", u" -", u""};
    static const char16_t* const breaks[] = {u"\r", u"\n", u"\r\n", u"\r"};
    std::u16string text;
    const int lines = Int(0, 12);
    const bool nuls = Chance(40);
    for (int i = 0; i < lines; ++i) {
      const bool afterLoneCr = !text.empty() && text.back() == u'\r';
      std::u16string line;
      if (afterLoneCr && Chance(60)) {
        line = Chance(50) ? u"> " : u"";  // a line that may end up holding only its LF
        // The line before, cut by a NUL, then hides the CR that the LF would join.
        if (nuls && Chance(50)) text.insert(text.size() - 1, kNul);
      } else {
        const int n = Int(0, 4);
        for (int k = 0; k < n; ++k) line += pieces[Int(0, 15)];
      }
      // An empty line after a lone CR cannot end in LF: the two would be one CR LF.
      const char16_t* brk = breaks[Int(0, 3)];
      if (afterLoneCr && line == u"> " && Chance(70)) brk = u"\n";
      if (afterLoneCr && line.empty() && brk[0] == u'\n') brk = Chance(50) ? u"\r" : u"\r\n";
      if (nuls && Chance(5)) {
        // At the line's start, right before its break (the document's end on
        // the last line), alone on the line, or anywhere inside it.
        switch (Int(0, 3)) {
          case 0: line.insert(0, kNul); break;
          case 1: line += kNul; break;
          case 2: line = kNul; break;
          default: line.insert(PieceBoundary(line), kNul); break;
        }
      }
      text += line;
      if (i + 1 < lines || Chance(50)) text += brk;
    }
    return text;
  }

  // Anchor and caret of a random selection in the document. Most documents
  // holding a NUL get a caret alone on a line holding one or on the line
  // after it (the other selections that meet a NUL are refused, and a
  // refusal's box is slow).
  std::pair<HostPos, HostPos> Selection(std::u16string_view doc, const TLines& lines) {
    std::vector<int32_t> nearNul;
    for (int32_t y = 0; y <= lines.Last(); ++y)
      if (HoldsNul(doc, lines, y) || (y > 0 && HoldsNul(doc, lines, y - 1))) nearNul.push_back(y);
    auto on = [&](int32_t y) { return HostPos{Int(0, static_cast<int32_t>(lines.Content[static_cast<size_t>(y)])), y}; };
    if (!nearNul.empty() && Chance(70)) {
      const HostPos p = on(nearNul[static_cast<size_t>(Int(0, static_cast<int32_t>(nearNul.size()) - 1))]);
      return {p, p};
    }
    auto any = [&] { return on(Int(0, lines.Last())); };
    const HostPos end{static_cast<int32_t>(lines.Content.back()), lines.Last()};
    switch (Int(0, 5)) {
      case 0: {  // empty
        const HostPos p = any();
        return {p, p};
      }
      case 1:  // on the last line
        return {HostPos{Int(0, end.x), end.y}, Chance(50) ? end : HostPos{0, end.y}};
      case 2:  // the whole document
        return Chance(50) ? std::make_pair(HostPos{0, 0}, end) : std::make_pair(end, HostPos{0, 0});
      default:  // forward or backward
        return {any(), any()};
    }
  }

  TChoice Choice(int32_t entries) {
    TChoice c;
    // Half of the choices delete: deletions are what leave lines holding only their break.
    const int pick = Int(0, 15);
    if (entries == 0 && (pick < 8 || pick == 12 || pick == 13)) return c;  // nothing to choose: Esc
    if (pick < 8) {
      c.Kind = ckInsert;
      c.Position = pick / 4;
      c.Target = pick % 4;
    } else {
      static const TChoiceKind others[] = {ckDeleteOnce, ckDeleteOnce, ckDeleteAll, ckDeleteAll,
                                           ckDeleteGiven, ckDeleteGiven, ckCancel, ckEscape};
      c.Kind = others[pick - 8];
    }
    c.Entry = entries > 0 ? Int(0, entries - 1) : 0;
    return c;
  }

private:
  // A place between two units of the line that does not part a surrogate pair.
  size_t PieceBoundary(const std::u16string& line) {
    size_t at = static_cast<size_t>(Int(0, static_cast<int32_t>(line.size())));
    if (at > 0 && at < line.size() && line[at] >= 0xDC00 && line[at] <= 0xDFFF) --at;
    return at;
  }
  int32_t Int(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(FRandom); }
  bool Chance(int percent) { return Int(0, 99) < percent; }
  std::mt19937_64 FRandom;
};

// The engine's edit for a menu choice on the valid entries.
std::optional<TEdit> EditOf(const TChoice& c, const TCommonStringRecordList& entries) {
  TEdit edit;
  switch (c.Kind) {
    case ckInsert:
      edit.Kind = ekInsert;
      edit.Position = static_cast<TInsertPosition>(c.Position);
      edit.Target = static_cast<TTargetLines>(c.Target);
      edit.Symbol = SymbolOfEntry(entries.Item(c.Entry));
      return edit;
    case ckDeleteGiven:
      edit.Kind = ekDeleteGiven;
      edit.Symbol = entries.Item(c.Entry);  // the entry as stored
      return edit;
    case ckDeleteOnce:
    case ckDeleteAll:
      edit.Kind = c.Kind == ckDeleteOnce ? ekDeleteOnce : ekDeleteAll;
      edit.Symbols = SymbolsOfEntries(entries);
      return edit;
    default:
      return std::nullopt;
  }
}

// The model: the selection widened to whole lines, the block cut out, edited
// and put back; the new block selected from the start of the line holding its
// first character, the caret on its side; with nothing selected the caret back
// on its character. Lines are read up to their first NUL: the document's last
// line ends there for the widening. An edit of selected lines holding a NUL
// is refused, the selection put back (Esc widens them as always); with nothing selected the caret's line is edited up
// to its NUL. A new block holding a NUL (from a symbol), and a block whose
// first line is left holding only its LF after a line holding a NUL, are
// refused with the selection as it was.
TExpected Expect(const std::u16string& doc, HostPos anchor, HostPos caret, const TChoice& choice,
                 const TCommonStringRecordList& entries) {
  TExpected e;
  e.Text = doc;
  e.Anchor = anchor;
  e.Caret = caret;
  if (choice.Kind == ckCancel) return e;

  const TLines lines(doc);
  const bool caretAtEnd = Before(anchor, caret);
  const bool nothingSelected = anchor == caret;
  HostPos p1 = caretAtEnd ? anchor : caret;
  HostPos p2 = caretAtEnd ? caret : anchor;
  const HostPos s = p1;
  p1.x = 0;
  if (p2.y == p1.y || p2.x != 0) {
    if (p2.y == lines.Last())
      p2.x = static_cast<int32_t>(ReadLength(doc, lines, p2.y));
    else
      p2 = HostPos{0, p2.y + 1};
  }
  const size_t begin = lines.Offset(p1);
  size_t end = lines.Offset(p2);
  e.OldBlock = doc.substr(begin, end - begin);
  const std::optional<TEdit> edit = EditOf(choice, entries);
  if (!edit) {
    // Nothing asked for: the lines widened with the caret on its side, or
    // the caret where it was when nothing was selected.
    const bool sideKept = caretAtEnd && !(p1 == p2);
    e.Anchor = nothingSelected ? s : sideKept ? p1 : p2;
    e.Caret = nothingSelected ? s : sideKept ? p2 : p1;
    e.NewBlock = e.OldBlock;
    return e;
  }
  if (const size_t nul = e.OldBlock.find(u'\0'); nul != std::u16string::npos) {
    if (!nothingSelected && edit) {
      e.Box = kNulInSelection;
      e.NewBlock = e.OldBlock;
      return e;
    }
    e.OldBlock.resize(nul);
    end = begin + nul;
  }
  e.NewBlock = e.OldBlock;
  if (edit) {
    e.NewBlock = ApplyEdit(e.OldBlock, *edit);
    if (e.NewBlock.find(u'\0') != std::u16string::npos) {
      e.Box = kNulInText;
      e.NewBlock = e.OldBlock;
      return e;
    }
    if (p1.y > 0 && !e.NewBlock.empty() && e.NewBlock[0] == u'\n' && FirstLine(e.OldBlock) != FirstLine(e.NewBlock) &&
        HoldsNul(doc, lines, p1.y - 1)) {
      e.Box = kNulBeforeBlock;
      e.NewBlock = e.OldBlock;
      return e;
    }
  }
  e.Text.assign(doc, 0, begin);
  e.Text.append(e.NewBlock).append(doc, end);

  const TLines after(e.Text);
  const HostPos first = after.Pos(begin);
  const HostPos blockStart{0, first.y};
  const HostPos blockEnd = after.Pos(begin + e.NewBlock.size());
  // A block that the widening left empty (a selection of the NULs that end
  // the last line) keeps no caret side: the caret goes to its start.
  const bool sideKept = caretAtEnd && !(p1 == p2);
  e.Anchor = sideKept ? blockStart : blockEnd;
  e.Caret = sideKept ? blockEnd : blockStart;
  if (nothingSelected) {
    if (first.y < s.y) {
      // The caret's line joined the line before it: the caret ends that line.
      e.Caret = HostPos{static_cast<int32_t>(after.Content[static_cast<size_t>(first.y)]), first.y};
    } else {
      const int64_t x = std::max<int64_t>(0, s.x + static_cast<int64_t>(ReadLength(e.Text, after, s.y)) -
                                                 static_cast<int64_t>(ReadLength(doc, lines, s.y)));
      const int32_t y = std::min(s.y, after.Last());
      e.Caret = HostPos{static_cast<int32_t>(std::min<int64_t>(x, after.Content[static_cast<size_t>(y)])), y};
    }
    e.Anchor = e.Caret;
  }
  return e;
}

// At most one text per changed line, plus one for the lines added or taken away.
size_t MostTextsSent(const std::u16string& oldBlock, const std::u16string& newBlock) {
  if (oldBlock == newBlock) return 0;
  TCommonStringRecordList o, w;
  o.SetText(oldBlock);
  w.SetText(newBlock);
  size_t changed = 0;
  const int32_t common = std::min(o.Count(), w.Count());
  for (int32_t i = 0; i < common; ++i)
    if (o.Item(i) != w.Item(i)) ++changed;
  return std::max<size_t>(changed, 1) + (o.Count() != w.Count() ? 1 : 0);
}

class CommandModel : public ::testing::Test {
protected:
  TPluginModule Plugin{WindowsPath(MARQUILL_DLL_PATH)};
  TTempFolder Folder;
  TSimHost Host;
  TUserDriver User{Host};
  // Texts sent that replaced exactly themselves: a line sent unchanged.
  int SentUnchanged = 0;
  std::u16string Replaced;

  // The host scrolls to every caret it is given: the view is as it was only
  // when the command hands the scroll value back after its last move.
  void SetUp() override {
    Host.SetPlugInsFolder(Folder.Path());
    Host.OnHostMessage = [this](const TSimMessage& m) {
      if (m.Msg == HOST_INSERT_TEXT) {
        if (m.Text == Replaced) ++SentUnchanged;
      }
      if (m.Msg == HOST_SET_SELECTION || m.Msg == HOST_SET_CARET_POS || m.Msg == HOST_SELECT_CHARS)
        Host.SetScrollValue({0, Host.Caret().y});
      Replaced = Host.SelectedText();
    };
  }
  void TearDown() override { Host.OnHostMessage = nullptr; }
};

TEST_F(CommandModel, EveryChoiceOnRandomDocumentsMatchesTheModel) {
  const uint64_t seed = FromEnvironment("MARQUILL_MODEL_SEED", 20261207);
  const uint64_t cases = FromEnvironment("MARQUILL_MODEL_CASES", 2000);
  uint64_t joined = 0;  // cases whose edit made a lone CR and an LF one line break
  uint64_t refused[3] = {0, 0, 0};  // cases refused for a NUL: in the selection, in the new text, before the block
  uint64_t withNul = 0;  // cases whose document holds a NUL
  const TSimReadProfile profiles[] = {rpExact, rpGenerousJunk, rpGenerousZeros};
  for (uint64_t n = 0; n < cases; ++n) {
    TModelCase random(seed * 1000003 + n);
    const TSimReadProfile profile = profiles[n % 3];
    Host.SetReadProfile(profile, 1 + static_cast<int32_t>(n % 17));
    const std::u16string settings = random.Settings();
    WriteBytes(Folder / u"Marquill_Setting.txt", Cp932(settings));
    TCommonStringRecordList entries;
    SetValidEntries(entries, settings);

    const std::u16string doc = random.Document();
    const TLines lines(doc);
    const auto [anchor, caret] = random.Selection(doc, lines);
    const TChoice choice = random.Choice(entries.Count());
    const TExpected e = Expect(doc, anchor, caret, choice, entries);
    if (TLines(e.Text).Start.size() != lines.Start.size()) ++joined;
    if (!e.Box.empty()) ++refused[e.Box == kNulInSelection ? 0 : e.Box == kNulInText ? 1 : 2];
    if (doc.find(u'\0') != std::u16string::npos) ++withNul;

    Host.SetText(doc);
    Host.SetSelection(anchor, caret);
    const HostScrollValue scroll{static_cast<int32_t>(n % 5), 100 + static_cast<int32_t>(n % 50)};
    Host.SetScrollValue(scroll);
    User.Reset();
    User.SetMenuKeys(KeysOf(choice));
    Host.ClearLog();
    SentUnchanged = 0;
    Replaced.clear();
    {
      TWatchdog dog(60000, "OnCommand");
      Plugin.OnCommand(Host.Hwnd());
    }

    const bool ok = Host.Text() == e.Text && Host.Anchor() == e.Anchor && Host.Caret() == e.Caret &&
                    Host.ScrollValue().first == scroll.first && Host.ScrollValue().second == scroll.second &&
                    (e.Box.empty() ? User.Dialogs().empty()
                                   : User.Dialogs().size() == 1 && User.Dialogs()[0].Text == e.Box) &&
                    SentUnchanged == 0 &&
                    static_cast<size_t>(Host.CountOf(HOST_INSERT_TEXT)) <= MostTextsSent(e.OldBlock, e.NewBlock);
    if (!ok) {
      ADD_FAILURE() << "seed " << seed << ", case " << n << ", read profile " << static_cast<int>(profile)
                    << " (rerun with MARQUILL_MODEL_SEED=" << seed
                    << " MARQUILL_MODEL_CASES=" << n + 1 << ")\n"
                    << "settings: " << Shown(settings) << "\n"
                    << "document: " << Shown(doc) << "\n"
                    << "selection " << Shown(anchor) << " -> " << Shown(caret) << ", " << Shown(choice) << "\n"
                    << "expected box: " << Shown(e.Box) << "\n"
                    << "expected: " << Shown(e.Text) << " " << Shown(e.Anchor) << " -> " << Shown(e.Caret) << "\n"
                    << "actual:   " << Shown(Host.Text()) << " " << Shown(Host.Anchor()) << " -> "
                    << Shown(Host.Caret()) << ", scroll (" << Host.ScrollValue().first << ","
                    << Host.ScrollValue().second << ") for (" << scroll.first << "," << scroll.second << ")\n"
                    << "texts sent " << Host.CountOf(HOST_INSERT_TEXT) << " (at most "
                    << MostTextsSent(e.OldBlock, e.NewBlock) << "), unchanged " << SentUnchanged << ", boxes "
                    << User.Dialogs().size() << (User.Dialogs().empty() ? "" : ": " + Shown(User.Dialogs()[0].Text));
      return;
    }
  }
  std::printf("%llu cases (%llu with lines joined, %llu holding a NUL, refused %llu + %llu + %llu), seed %llu\n",
              static_cast<unsigned long long>(cases), static_cast<unsigned long long>(joined),
              static_cast<unsigned long long>(withNul), static_cast<unsigned long long>(refused[0]),
              static_cast<unsigned long long>(refused[1]), static_cast<unsigned long long>(refused[2]),
              static_cast<unsigned long long>(seed));
}

}  // namespace
