// The edit of one text read from a descriptor and written to another: line
// by line as the input arrives, or after the whole text where the edit needs
// it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "EditUnit.h"
#include "Files.h"

struct TTextSource {
  int Fd = 0;
  std::string Operand;  // the file as the user named it, "-" for standard input
  // A regular file as an earlier reading found it (KindOfDescriptor before
  // toggle's scan), rewound to where that began: the edit reads it only
  // while it stays so, which its times must be able to prove (TimesProve).
  std::optional<TFileKind> ReadBefore;
  // For messages: the quoted file name, or "standard input".
  std::string Name() const;
};

struct TTextSink {
  int Fd = 1;
  std::string Name;  // for messages: "output" or a quoted file name
};

// The most of a regular file that the first pass of an edit looking at the
// whole text keeps in memory, so that the second need not read it again; a
// larger file is read again, which costs less than holding it.
constexpr uint64_t kKeptFileBytes = uint64_t{4} << 20;

struct TEditOutcome {
  bool Changed = false;  // the output differs from the input (when asked)
};

// Reads Source to its end and writes the edited text to Sink. Input of zero
// bytes gives zero bytes; a UTF-8 byte order mark is written first and is not
// part of the text; UTF-16 input and input holding a NUL are refused. Edits
// that EditWorksPieceByPiece allows are done on pieces of whole lines,
// written in order as soon as each is done, in bounded memory; for the
// others the text is read, checked and measured first, until its measure
// can no longer change (or to its end), then edited the same way: what the
// first reading kept, then the rest of the input as it is read, or a
// regular file too large to keep read again. The pieces go through one
// thread, or through a crew where more cores are free.
// Stops at the first error with a TFailure; bad input is named by its place
// (the operand, the line and the column in bytes). What was written stays
// written, and nothing goes out before it is checked: after bad input, the
// output is the edit of the lines before the bad one, as if the input ended
// there (with the byte order mark only if there is such a line); after a
// file changed between two readings, nothing of the second.
TEditOutcome EditText(const TEdit& Edit, const TTextSource& Source, const TTextSink& Sink, bool NoteChanges);

// Tests: the crew's workers forced to Workers (0: everything in the calling
// thread); -1 chooses them again by the cores this process may use.
void ForceCrewWorkers(int Workers);

// Tests: the most of a file kept in place of kKeptFileBytes (0: a file is
// always read again).
void KeepFilesUpToForTests(uint64_t Bytes);

// Tests: called between two readings of one input, toggle's scan and its
// edit or the two passes of the edits that look at the whole text
// (nullptr: nothing).
void SetBetweenPassesForTests(std::function<void()> Hook);
// Calls that hook, if any.
void BetweenReadings();
