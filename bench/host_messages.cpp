// Host messages and time for rewriting large selections line by line against
// the simulated host. Prints one row per document size; growth should be
// linear in the number of lines, and unchanged lines should cost no text.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "PluginLibrary.h"
#include "PluginLibrary2.h"
#include "SimHost.h"
#include "StringRecordList.h"

namespace {

struct Figures {
  int32_t lines = 0, changed = 0, messages = 0, inserts = 0;
  double ms = 0;
};

// Selects the whole document of `lines` lines, rewrites it with `edit` (which
// changes the listed lines and returns how many) and counts what the host got.
template <class Edit>
Figures Rewrite(const std::u16string& doc, int32_t lines, Edit edit) {
  TSimHost host(doc, 40);
  host.SetLogging(false);
  host.SetSelection(HostPos{0, 0}, HostPos{0, lines});
  HWND h = host.Hwnd();

  const auto t0 = std::chrono::steady_clock::now();
  ExtendSelectionToWholeLines(h);
  TCommonStringRecordList l;
  l.SetText(GetSelectedText(h));
  const int32_t changed = edit(l);
  ReplaceSelectedLines(h, l.Text());
  const auto t1 = std::chrono::steady_clock::now();

  Figures f;
  f.lines = lines;
  f.changed = changed;
  for (UINT m = 0x800; m <= 0x8FF; ++m) f.messages += host.CountOf(m);
  f.inserts = host.CountOf(HOST_INSERT_TEXT);
  f.ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
  return f;
}

// Puts "> " at the head of every `step`-th line of a document of `lines` lines.
Figures Run(int32_t lines, int32_t step, const char16_t* brk) {
  std::u16string doc;
  for (int32_t i = 0; i < lines; ++i) {
    doc += u"line " + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u" of some ordinary text";
    doc += brk;
  }
  return Rewrite(doc, lines, [&](TCommonStringRecordList& l) {
    int32_t changed = 0;
    for (int32_t i = 0; i < l.Count(); i += step, ++changed) l.SetItems(i, u"> " + l.Items(i));
    return changed;
  });
}

// Takes "> " off every second line of a document whose other lines end in a
// lone CR: each such line, left holding only its LF, joins the lone CR before
// it, so the whole block is replaced at once.
Figures RunJoined(int32_t lines) {
  std::u16string doc;
  for (int32_t i = 0; i < lines; ++i) doc += i % 2 == 0 ? u"text of the line\r" : u"> \n";
  return Rewrite(doc + u"after", lines, [](TCommonStringRecordList& l) {
    int32_t changed = 0;
    for (int32_t i = 1; i < l.Count(); i += 2, ++changed) l.SetItems(i, u"\n");
    return changed;
  });
}

void Print(const char* what, const Figures& f) {
  std::printf("%-10s %8d %8d %9d %8d %10.2f %11.2f %10.3f\n", what, f.lines, f.changed, f.messages, f.inserts,
              static_cast<double>(f.messages) / (f.changed ? f.changed : 1), f.ms, 1000.0 * f.ms / f.lines);
}

}  // namespace

int main() {
  std::printf("%-10s %8s %8s %9s %8s %10s %11s %10s\n", "case", "lines", "changed", "messages", "inserts",
              "msg/chg", "ms", "us/line");
  for (int32_t n : {1000, 10000, 100000}) Print("all CRLF", Run(n, 1, u"\r\n"));
  for (int32_t n : {1000, 10000, 100000}) Print("all LF", Run(n, 1, u"\n"));
  for (int32_t n : {1000, 10000, 100000}) Print("1% CRLF", Run(n, 100, u"\r\n"));
  for (int32_t n : {1000, 10000, 100000}) Print("CR joins", RunJoined(n));
  return 0;
}
