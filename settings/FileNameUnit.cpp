// Path rules: validating, splitting and resolving path strings.
#include "FileNameUnit.h"

#include "StringSplitterUnit.h"

namespace {

const TStringDynArray& Backslash() {
  static const TStringDynArray delimiters = {u"\\"};
  return delimiters;
}

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool IsDotPiece(std::u16string_view s) { return s == u"." || s == u".."; }

std::u16string_view WithoutTrailingBackslash(std::u16string_view p) {
  if (!p.empty() && p.back() == u'\\') p.remove_suffix(1);
  return p;
}

size_t LastDelimiter(std::u16string_view path) { return path.find_last_of(u"\\:"); }

}  // namespace

bool IsUNCPath(std::u16string_view p) { return p.size() > 2 && p[0] == u'\\' && p[1] == u'\\' && p[2] != u'\\'; }

bool IsDrivePath(std::u16string_view p) {
  return p.size() >= 2 && IsLetter(p[0]) && p[1] == u':' && (p.size() == 2 || p[2] == u'\\');
}

bool IsValidPath(std::u16string_view p) {
  TStringSplitter pieces(WithoutTrailingBackslash(p), Backslash(), {sfWithEmpty});
  const int32_t count = pieces.Count();
  if (count == 1 && pieces.Words(0).empty()) return false;

  int32_t first = 0;  // first piece subject to the empty-piece rule
  if (count >= 2 && pieces.Words(0).empty()) {
    if (!pieces.Words(1).empty() || p == u"\\\\") return false;
    first = 2;  // the UNC prefix
  }
  for (int32_t i = first; i < count; ++i)
    if (pieces.Words(i).empty()) return false;

  // "." and ".." only as a run at the very beginning.
  bool otherSeen = false;
  for (int32_t i = 0; i < count; ++i) {
    if (IsDotPiece(pieces.Words(i))) {
      if (otherSeen) return false;
    } else {
      otherSeen = true;
    }
  }

  // A colon only as the drive colon of the first ordinary piece.
  bool firstOther = true;
  for (int32_t i = 0; i < count; ++i) {
    const std::u16string w = pieces.Words(i);
    if (IsDotPiece(w)) continue;
    if (w.find(u':') != std::u16string::npos) {
      if (!firstOther) return false;
      if (w.size() < 2 || w[1] != u':' || !IsLetter(w[0])) return false;
    }
    firstOther = false;
  }

  for (int32_t i = 0; i < count; ++i) {
    const std::u16string w = pieces.Words(i);
    if (!IsDotPiece(w) && !w.empty() && w[0] == u'.') return false;
  }

  return p.find_first_of(u"/*?\"<>|") == std::u16string_view::npos;
}

bool IsValidUNCPath(std::u16string_view p) { return IsUNCPath(p) && IsValidPath(p); }

bool IsValidDrivePath(std::u16string_view p) { return IsDrivePath(p) && IsValidPath(p); }

bool IsRelativePath(std::u16string_view p) { return IsValidPath(p) && !IsUNCPath(p) && !IsDrivePath(p); }

int32_t GetPathDepth(std::u16string_view p) {
  if (!IsValidDrivePath(p) && !IsValidUNCPath(p)) return -1;
  return SplitCount(p, Backslash(), DefaultSplitFlags) - 1;
}

std::u16string GetParentPath(std::u16string_view p, int32_t n) {
  if (n < 0) return std::u16string();
  if (n == 0) return std::u16string(p);
  const int32_t depth = GetPathDepth(p);
  if (depth == -1 || n > depth) return std::u16string();
  std::u16string result;
  if (IsValidUNCPath(p)) result = u"\\\\";
  for (int32_t i = 0; i < depth - n + 1; ++i) {
    result += SplitItem(p, Backslash(), i, DefaultSplitFlags);
    result += u'\\';
  }
  return result;
}

std::u16string CombinePath(std::u16string_view base, std::u16string_view rel) {
  if (!(IsValidDrivePath(base) || IsValidUNCPath(base)) || !IsValidPath(rel)) return std::u16string();

  std::u16string folder(WithoutTrailingBackslash(base));
  const bool relTrailing = !rel.empty() && rel.back() == u'\\';
  TStringSplitter pieces(WithoutTrailingBackslash(rel), Backslash(), {sfWithEmpty});

  int32_t i = 0;
  for (; i < pieces.Count(); ++i) {
    const std::u16string w = pieces.Words(i);
    if (w == u"..") {
      folder = GetParentPath(folder, 1);
      if (folder.empty()) return std::u16string();  // above the root
    } else if (w != u".") {
      break;
    }
  }

  std::u16string result = folder.empty() ? std::u16string() : IncludeTrailingBackslash(folder);
  for (; i < pieces.Count(); ++i) {
    result += pieces.Words(i);
    result += u'\\';
  }
  if (!relTrailing && !result.empty() && result.back() == u'\\') result.pop_back();

  if (!IsValidDrivePath(result) && !IsValidUNCPath(result)) return std::u16string();
  return result;
}

std::u16string ExtractFileName(std::u16string_view path) {
  const size_t at = LastDelimiter(path);
  return std::u16string(at == std::u16string_view::npos ? path : path.substr(at + 1));
}

std::u16string ExtractFilePath(std::u16string_view path) {
  const size_t at = LastDelimiter(path);
  return std::u16string(at == std::u16string_view::npos ? std::u16string_view() : path.substr(0, at + 1));
}

std::u16string ExtractFileExt(std::u16string_view path) {
  const size_t dot = path.find_last_of(u"\\:.");
  if (dot == std::u16string_view::npos || path[dot] != u'.') return std::u16string();
  return std::u16string(path.substr(dot));
}

std::u16string IncludeTrailingBackslash(std::u16string_view path) {
  std::u16string result(path);
  if (result.empty() || result.back() != u'\\') result += u'\\';
  return result;
}

std::u16string GetBackupFilePath(std::u16string_view path) {
  const std::u16string ext = ExtractFileExt(path);
  std::u16string tail = ext.empty() ? std::u16string() : ext.substr(1);
  if (tail.empty() || tail[0] != u'_') tail.insert(0, u"_");
  tail += u".bak";
  std::u16string result(path.substr(0, path.size() - ext.size()));
  result += tail;
  return result;
}

std::u16string QuoteIfNeeded(std::u16string_view s) {
  const bool opens = !s.empty() && s.front() == u'"';
  const bool closes = !s.empty() && s.back() == u'"';
  std::u16string result;
  if (!opens) result += u'"';
  result += s;
  if (!closes) result += u'"';
  return result;
}
