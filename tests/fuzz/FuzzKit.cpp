// What the fuzz targets share.
#include "FuzzKit.h"

#include <cstdio>
#include <cstdlib>

std::string Show(u16v s) {
  std::string out;
  for (char16_t c : s) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char buf[12];
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

u16 Widen(std::string_view bytes) {
  u16 out;
  for (char c : bytes) out += static_cast<char16_t>(static_cast<unsigned char>(c));
  return out;
}

namespace {
const char* gContext = nullptr;
}  // namespace

TFailContext::TFailContext(const char* Text) : FOuter(gContext) { gContext = Text; }
TFailContext::~TFailContext() { gContext = FOuter; }

void Fail(const char* what, u16v input, u16v got, u16v expected) {
  std::fprintf(stderr, "MISMATCH in %s%s%s%s\n  input:    \"%s\"\n  got:      \"%s\"\n  expected: \"%s\"\n", what,
               gContext ? " (" : "", gContext ? gContext : "", gContext ? ")" : "", Show(input).c_str(),
               Show(got).c_str(), Show(expected).c_str());
  std::abort();
}

void Check(const char* what, u16v input, u16v got, u16v expected) {
  if (got != expected) Fail(what, input, got, expected);
}

void CheckBytes(const char* what, u16v input, std::string_view got, std::string_view expected) {
  if (got != expected) Fail(what, input, Widen(got), Widen(expected));
}

size_t Utf8SequenceRef(std::string_view in, size_t at, uint32_t& cp) {
  const auto* s = reinterpret_cast<const unsigned char*>(in.data()) + at;
  const size_t left = in.size() - at;
  auto within = [&](size_t k, unsigned lo, unsigned hi) { return k < left && s[k] >= lo && s[k] <= hi; };
  const unsigned c = s[0];
  size_t len = 0;
  if (c <= 0x7F) len = 1;
  else if (c >= 0xC2 && c <= 0xDF) len = within(1, 0x80, 0xBF) ? 2 : 0;
  else if (c == 0xE0) len = within(1, 0xA0, 0xBF) && within(2, 0x80, 0xBF) ? 3 : 0;
  else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) len = within(1, 0x80, 0xBF) && within(2, 0x80, 0xBF) ? 3 : 0;
  else if (c == 0xED) len = within(1, 0x80, 0x9F) && within(2, 0x80, 0xBF) ? 3 : 0;
  else if (c == 0xF0) len = within(1, 0x90, 0xBF) && within(2, 0x80, 0xBF) && within(3, 0x80, 0xBF) ? 4 : 0;
  else if (c >= 0xF1 && c <= 0xF3) len = within(1, 0x80, 0xBF) && within(2, 0x80, 0xBF) && within(3, 0x80, 0xBF) ? 4 : 0;
  else if (c == 0xF4) len = within(1, 0x80, 0x8F) && within(2, 0x80, 0xBF) && within(3, 0x80, 0xBF) ? 4 : 0;
  if (len == 0) return 0;
  cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
  for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (s[k] & 0x3F);
  return len;
}

void PutUtf16(u16& out, uint32_t cp) {
  if (cp >= 0x10000) {
    out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

void PutUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::optional<size_t> Utf8Ref(std::string_view in, u16& out) {
  for (size_t i = 0; i < in.size();) {
    uint32_t cp = 0;
    const size_t len = Utf8SequenceRef(in, i, cp);
    if (len == 0) return i;
    PutUtf16(out, cp);
    i += len;
  }
  return std::nullopt;
}

std::string Utf16Ref(u16v in, bool& lone) {
  std::string out;
  lone = false;
  for (size_t i = 0; i < in.size(); ++i) {
    const uint32_t c = in[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
    if (high && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
      PutUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00));
      ++i;
    } else if (high || low) {
      lone = true;
      PutUtf8(out, 0xFFFD);
    } else {
      PutUtf8(out, c);
    }
  }
  return out;
}

// The lines of a text, cut by hand: CR LF first, then CR, then LF.
std::vector<u16> CutLines(u16v text) {
  std::vector<u16> lines;
  u16 cur;
  for (size_t i = 0; i < text.size(); ++i) {
    cur += text[i];
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      cur += u'\n';
      ++i;
      lines.push_back(cur);
      cur.clear();
    } else if (text[i] == u'\r' || text[i] == u'\n') {
      lines.push_back(cur);
      cur.clear();
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

// Fields of an entry: cut at tabs, empty pieces dropped.
std::vector<u16> Fields(u16v entry) {
  std::vector<u16> fields;
  u16 cur;
  for (char16_t c : entry) {
    if (c == u'\t') {
      if (!cur.empty()) fields.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) fields.push_back(cur);
  return fields;
}

u16 SymbolRef(u16v entry) {
  auto f = Fields(entry);
  return f.empty() ? u16() : f[0];
}

u16 TrimRef(u16v s, bool left) {
  size_t b = 0, e = s.size();
  while (left && b < e && s[b] <= 0x20) ++b;
  while (e > b && s[e - 1] <= 0x20) --e;
  return u16(s.substr(b, e - b));
}

u16 DecodeRef(u16v s) {
  u16 out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != u'\\') {
      out += s[i];
      continue;
    }
    const char16_t next = i + 1 < s.size() ? s[i + 1] : 0;
    if (next == u'r' || next == u'R') out += u'\r', ++i;
    else if (next == u'n' || next == u'N') out += u'\n', ++i;
    else if (next == u't' || next == u'T') out += u'\t', ++i;
    else if (next == u'\\') out += u'\\', ++i;
    // any other backslash is dropped
  }
  return out;
}

u16 CaptionRef(u16v entry) {
  auto f = Fields(entry);
  return f.size() < 2 ? u16() : DecodeRef(TrimRef(f[1], false));
}

