// Pure rules on Windows path strings: well-formed drive, UNC and relative
// paths, depth, parent, resolving a relative path, file-name parts, backup
// names and command-line quoting. Nothing here touches the file system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

bool IsValidPath(std::u16string_view p);
bool IsUNCPath(std::u16string_view p);
bool IsValidUNCPath(std::u16string_view p);
bool IsDrivePath(std::u16string_view p);
bool IsValidDrivePath(std::u16string_view p);
bool IsRelativePath(std::u16string_view p);

// Number of non-empty pieces minus one for a valid drive or UNC path, else -1.
int32_t GetPathDepth(std::u16string_view p);
// The folder n levels up, with a trailing backslash; p itself for n = 0;
// empty for n < 0, for n beyond the root and for paths of no depth.
std::u16string GetParentPath(std::u16string_view p, int32_t n);
// rel resolved against the absolute folder base; empty when it cannot be.
std::u16string CombinePath(std::u16string_view base, std::u16string_view rel);

// The text after the last backslash or colon.
std::u16string ExtractFileName(std::u16string_view path);
// The text up to and including the last backslash or colon.
std::u16string ExtractFilePath(std::u16string_view path);
// The extension: from the last full stop after the last backslash or colon
// (full stop included); empty when there is none.
std::u16string ExtractFileExt(std::u16string_view path);
// Appends a backslash unless the text already ends with one ("" gives "\").
std::u16string IncludeTrailingBackslash(std::u16string_view path);

// name.ext -> name_ext.bak in the same folder (name -> name_.bak).
std::u16string GetBackupFilePath(std::u16string_view path);

// A double quote in front unless the text begins with one, and at the end
// unless it ends with one; the empty text gives two quotes.
std::u16string QuoteIfNeeded(std::u16string_view s);
