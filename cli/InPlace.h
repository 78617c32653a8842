// The temporary file of an in-place edit and its taking the edited file's
// place, with the file's owner, mode and attributes.
#pragma once

#include <functional>
#include <string>

#include "Files.h"

// A new file beside Path, under a short name of its own, that will replace
// it; removed by DiscardTemp. Until it is replaced or discarded, SIGINT,
// SIGTERM and SIGHUP (unless ignored) remove it and end the program as the
// signal would; they wait while the file is made and while it takes Path's
// place.
struct TTempFile {
  int Fd = -1;
  std::string Path;
};
TTempFile CreateTempBeside(const std::string& Path);
// Closes and removes the temporary file; false, with errno set, where it
// could not be removed.
bool DiscardTemp(TTempFile& Temp);

// The file an in-place edit read: its open descriptor, and its stamp when
// it was opened.
struct TReadFile {
  int Fd = -1;
  TFileStamp Stamp;
};

// Gives the temporary file the owner, group, extended attributes (access
// control lists among them) and mode of the file that was read, in that
// order, so that a change of owner cannot clear the set-id bits; flushes it
// to the disk and closes it. Then, if the file at Path is still the one
// read, with the same size and times, it takes Path's place, and with a
// BackupSuffix, Path's former content stays as Path+BackupSuffix. Otherwise
// the temporary file is removed and Path and any backup stay as they were.
// Closes Read.Fd (-1 after), which Windows would not let be replaced open.
void ReplaceByTemp(TTempFile& Temp, const std::string& Path, const std::string& BackupSuffix, TReadFile& Read);

// Tests: called after the temporary file is on the disk, before the check
// that the file is still the one read (nullptr: nothing).
void SetBeforeReplaceForTests(std::function<void()> Hook);
