// Golden example files: reading them (input, edits as filter arguments,
// expected outputs, with visible marks for blanks and line breaks), writing
// them back with actual results, and turning the arguments into an edit.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "EditUnit.h"

// One edit of an example and the text it must give.
struct TExampleCase {
  std::string Heading;                  // the "== ..." line as written
  std::vector<std::u16string> Arguments;  // the filter's arguments, marks decoded
  std::u16string Expected;
  size_t Line = 0;  // of the heading, from 1
};

struct TExample {
  std::vector<std::string> Preamble;  // comment and option lines before "== input", as written
  bool BreaksMatter = false;          // "breaks: fixed": not run with converted line ends
  // "paths: ..." names the paths an example runs through (all three unless said)
  bool ForEngine = true;
  bool ForFilter = true;
  bool ForDll = true;
  std::u16string Input;
  std::vector<TExampleCase> Cases;
};

// Reads an example file (UTF-8, LF line ends). False with a message naming
// the line when the file does not follow the format.
bool ParseExample(std::string_view file, TExample& example, std::string& error);

// The file again with `actual` (one text per case) in place of the expected
// blocks: what a reviewer diffs against the file and accepts by renaming.
std::string RenderExample(const TExample& example, const std::vector<std::u16string>& actual);

// A text as an example block shows it, and back.
std::string RenderBlock(std::u16string_view text);
bool ParseBlock(const std::vector<std::string_view>& lines, std::u16string& text, std::string& error);

// Every CR LF turned into LF and every lone LF into CR LF (lone CRs stay).
std::u16string SwapLineEnds(std::u16string_view text);
bool HasLoneCr(std::u16string_view text);

// The edit that the filter's arguments ask for: insert [--at head|char]
// [--lines all|nonblank|least|after-blank] SYMBOL, delete SYMBOL,
// delete-once -e SYMBOL..., delete-all -e SYMBOL...
bool EditFromArguments(const std::vector<std::u16string>& arguments, TEdit& edit, std::string& error);

// The example files among a folder's entries: names ending in ".example", sorted.
std::vector<std::string> ExampleNames(std::vector<std::string> entries);
