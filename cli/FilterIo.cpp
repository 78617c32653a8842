#include "FilterIo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "Utf.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#include <iconv.h>
#include <unistd.h>
#endif

namespace {

constexpr size_t kReadChunk = size_t{4} << 20;    // bytes per read buffer
constexpr size_t kWriteChunk = size_t{1} << 20;   // UTF-16 units encoded per write

std::string ErrnoText(int e) { return std::strerror(e); }

// One read() into `p`; -1 with errno on failure.
long ReadSome(char* p, size_t n) {
#ifdef _WIN32
  return _read(0, p, static_cast<unsigned>(std::min<size_t>(n, 1u << 30)));
#else
  return static_cast<long>(::read(0, p, n));
#endif
}

long WriteSome(const char* p, size_t n) {
#ifdef _WIN32
  return _write(1, p, static_cast<unsigned>(std::min<size_t>(n, 1u << 30)));
#else
  return static_cast<long>(::write(1, p, std::min<size_t>(n, size_t{1} << 30)));
#endif
}

struct Chunk {
  std::unique_ptr<char[]> data;
  size_t size = 0;
};

// Length of the UTF-8 sequence that lead byte `c` announces (1 for anything
// that is not a multi-byte lead; the decoder judges validity).
size_t SequenceLength(unsigned char c) {
  if (c >= 0xF0) return 4;
  if (c >= 0xE0) return 3;
  if (c >= 0xC0) return 2;
  return 1;
}

bool AppendDecoded(std::string_view bytes, size_t streamOffset, std::u16string& out, std::string& error) {
  if (bytes.empty()) return true;
  size_t bad = 0;
  auto u = Utf8ToUtf16(bytes, &bad);
  if (!u) {
    error = "input is not valid UTF-8 (byte offset " + std::to_string(streamOffset + bad) + ")";
    return false;
  }
  out += *u;
  return true;
}

}  // namespace

void PrepareStdio() {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#else
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

bool ReadStdinAsUtf16(std::u16string& out, std::string& error) {
  // Every chunk but the last is full, so a UTF-8 sequence spans at most two.
  std::vector<Chunk> chunks;
  size_t total = 0;
  for (;;) {
    Chunk c;
    c.data.reset(new char[kReadChunk]);
    while (c.size < kReadChunk) {
      long r = ReadSome(c.data.get() + c.size, kReadChunk - c.size);
      if (r < 0) {
        if (errno == EINTR) continue;
        error = "cannot read input: " + ErrnoText(errno);
        return false;
      }
      if (r == 0) break;
      c.size += static_cast<size_t>(r);
    }
    total += c.size;
    const bool full = c.size == kReadChunk;
    if (c.size > 0) chunks.push_back(std::move(c));
    if (!full) break;
  }

  out.clear();
  out.reserve(total);  // never more units than bytes
  size_t base = 0;     // stream offset of the current chunk
  size_t skip = 0;     // bytes of the current chunk already decoded with the previous one
  for (size_t k = 0; k < chunks.size(); ++k) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(chunks[k].data.get());
    const size_t n = chunks[k].size;
    const bool last = k + 1 == chunks.size();
    size_t cut = n;
    if (!last) {
      // Hold back a sequence that the chunk end cuts off.
      size_t i = n;
      while (i > skip && n - i < 3 && (b[i - 1] & 0xC0) == 0x80) --i;
      if (i > skip && b[i - 1] >= 0xC0 && i - 1 + SequenceLength(b[i - 1]) > n) cut = i - 1;
    }
    if (!AppendDecoded(std::string_view(chunks[k].data.get() + skip, cut - skip), base + skip, out, error))
      return false;
    skip = 0;
    if (cut < n) {
      const size_t need = SequenceLength(b[cut]);
      std::string joined(chunks[k].data.get() + cut, n - cut);
      skip = std::min(need - joined.size(), chunks[k + 1].size);
      joined.append(chunks[k + 1].data.get(), skip);
      if (!AppendDecoded(joined, base + cut, out, error)) return false;
    }
    base += n;
    chunks[k].data.reset();  // the bytes are not needed any more
  }
  return true;
}

size_t FindLoneSurrogate(std::u16string_view text) noexcept {
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = text[i];
    if (c < 0xD800 || c > 0xDFFF) continue;
    if (c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    return i;
  }
  return std::u16string_view::npos;
}

bool WriteToStdout(std::string_view bytes, std::string& error) {
  const char* p = bytes.data();
  size_t n = bytes.size();
  while (n > 0) {
    long r = WriteSome(p, n);
    if (r < 0) {
      if (errno == EINTR) continue;
      error = "cannot write output: " + ErrnoText(errno);
      return false;
    }
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool WriteUtf16ToStdout(std::u16string_view text, std::string& error) {
  std::string buffer;
  buffer.reserve(kWriteChunk * 3 + 3);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t len = std::min(kWriteChunk, text.size() - pos);
    // Keep a surrogate pair within one chunk.
    if (pos + len < text.size() && text[pos + len - 1] >= 0xD800 && text[pos + len - 1] <= 0xDBFF) ++len;
    buffer.clear();
    if (!AppendUtf16AsUtf8(text.substr(pos, len), buffer)) {
      error = "output holds an unpaired surrogate";
      return false;
    }
    if (!WriteToStdout(buffer, error)) return false;
    pos += len;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string& error) {
#ifdef _WIN32
  auto wpath = Utf8ToUtf16(path);
  if (!wpath) {
    error = "the file name is not valid UTF-8";
    return false;
  }
  std::FILE* f = _wfopen(reinterpret_cast<const wchar_t*>(wpath->c_str()), L"rb");
#else
  std::FILE* f = std::fopen(path.c_str(), "rb");
#endif
  if (!f) {
    error = ErrnoText(errno);
    return false;
  }
  out.clear();
  char buf[65536];
  for (;;) {
    size_t got = std::fread(buf, 1, sizeof buf, f);
    out.append(buf, got);
    if (got < sizeof buf) break;
  }
  const bool failed = std::ferror(f) != 0;
  const int e = errno;
  std::fclose(f);
  if (failed) {
    error = ErrnoText(e);
    return false;
  }
  return true;
}

bool DecodeCp932(std::string_view bytes, std::u16string& out, std::string& error) {
  out.clear();
  if (bytes.empty()) return true;
#ifdef _WIN32
  if (bytes.size() > 0x7FFFFFFF) {
    error = "file too large";
    return false;
  }
  const int n = static_cast<int>(bytes.size());
  int units = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), n, nullptr, 0);
  if (units > 0) {
    out.resize(static_cast<size_t>(units));
    units = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), n, reinterpret_cast<wchar_t*>(out.data()),
                                units);
  }
  if (units <= 0) {
    out.clear();
    error = "not valid code page 932 text";
    return false;
  }
  return true;
#else
  iconv_t cd = iconv_open("UTF-16LE", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    error = "code page 932 conversion is not available: " + ErrnoText(errno);
    return false;
  }
  // Every code page 932 character is one UTF-16 unit at most per byte.
  std::string wide(bytes.size() * 2, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* o = wide.data();
  size_t outLeft = wide.size();
  const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  const int e = errno;
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) {
    error = "not valid code page 932 text (byte offset " + std::to_string(in - bytes.data()) + ")";
    if (e == E2BIG) error = "code page 932 conversion overflowed";
    return false;
  }
  const size_t produced = (wide.size() - outLeft) / 2;
  out.resize(produced);
  for (size_t i = 0; i < produced; ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(wide[2 * i]) |
                                   (static_cast<unsigned char>(wide[2 * i + 1]) << 8));
  return true;
#endif
}
