#include "FilterIo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <new>

#include "Utf.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <iconv.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr size_t kFirstBlock = size_t{4} << 20;  // input buffer before it grows
constexpr size_t kOutPiece = size_t{8} << 20;    // bytes per output piece
constexpr size_t kIoLimit = size_t{1} << 30;     // bytes per read() or write()

std::string ErrnoText(int e) { return std::strerror(e); }

long ReadSome(char* p, size_t n) {
#ifdef _WIN32
  return _read(0, p, static_cast<unsigned>(std::min(n, kIoLimit)));
#else
  return static_cast<long>(::read(0, p, std::min(n, kIoLimit)));
#endif
}

long WriteSome(const char* p, size_t n) {
#ifdef _WIN32
  return _write(1, p, static_cast<unsigned>(std::min(n, kIoLimit)));
#else
  return static_cast<long>(::write(1, p, std::min(n, kIoLimit)));
#endif
}

// Bytes left in standard input when it is a regular file, else 0.
size_t KnownInputSize() {
  TInputFile file;
  return file.Open() ? file.Size() : 0;
}

std::string BadUtf8Message(size_t offset) {
  return "input is not valid UTF-8 (byte offset " + std::to_string(offset) + ")";
}

}  // namespace

void PrepareStdio() {
#ifdef __GLIBC__
  // The text is handled in pieces whose buffers are allocated and released
  // over and over: keep them on the heap instead of mapping fresh pages each
  // time, while the big buffers stay mapped of their own and go back to the
  // system when released.
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#else
  std::signal(SIGPIPE, SIG_IGN);
#ifdef F_SETPIPE_SZ
  // A larger pipe on standard input: fewer, larger reads while the writer
  // runs ahead. Only a hint: fails for anything but a pipe.
  (void)fcntl(0, F_SETPIPE_SZ, 1 << 20);
#endif
#endif
}

bool TInput::ReadStdin(std::string& error) {
  // Sized once for a regular file (one byte more to see its end); grown by
  // realloc otherwise, which moves pages instead of copying on Linux.
  size_t capacity = std::max(KnownInputSize() + 1, kFirstBlock);
  FData.reset(static_cast<char*>(std::malloc(capacity)));
  if (!FData) throw std::bad_alloc();
  FSize = 0;
  for (;;) {
    if (FSize == capacity) {
      capacity += capacity / 2;
      char* grown = static_cast<char*>(std::realloc(FData.get(), capacity));
      if (!grown) throw std::bad_alloc();
      (void)FData.release();
      FData.reset(grown);
    }
    size_t got = 0;
    if (!ReadStdinSome(FData.get() + FSize, capacity - FSize, got, error)) return false;
    if (got == 0) return true;
    FSize += got;
  }
}

bool TInputFile::Open() {
#ifdef _WIN32
  return false;
#else
  struct stat st;
  if (fstat(0, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const off_t here = lseek(0, 0, SEEK_CUR);
  if (here < 0) return false;
  FStart = here;
  FSize = st.st_size > here ? static_cast<size_t>(st.st_size - here) : 0;
  return true;
#endif
}

long TInputFile::ReadAt(char* p, size_t n, size_t at) const {
#ifdef _WIN32
  (void)p, (void)n, (void)at;
  errno = ENOSYS;
  return -1;
#else
  for (;;) {
    const long r = static_cast<long>(::pread(0, p, std::min(n, kIoLimit), static_cast<off_t>(FStart + at)));
    if (r >= 0 || errno != EINTR) return r;
  }
#endif
}

bool TInputFile::LineStartAt(size_t at, size_t& start, std::string& error) const {
  if (at == 0) {
    start = 0;
    return true;
  }
  char buf[4096];
  for (size_t pos = at - 1;; ) {
    const long r = ReadAt(buf, sizeof buf, pos);
    if (r < 0) {
      error = "cannot read input: " + ErrnoText(errno);
      return false;
    }
    if (r == 0) {
      start = kToEnd;
      return true;
    }
    if (const void* lf = std::memchr(buf, '\n', static_cast<size_t>(r))) {
      start = pos + static_cast<size_t>(static_cast<const char*>(lf) - buf) + 1;
      return true;
    }
    pos += static_cast<size_t>(r);
  }
}

void TInputFile::Finish(size_t consumed) const {
#ifndef _WIN32
  lseek(0, static_cast<off_t>(FStart + consumed), SEEK_SET);
#else
  (void)consumed;
#endif
}

bool ReadStdinSome(char* p, size_t n, size_t& got, std::string& error) {
  for (;;) {
    const long r = ReadSome(p, n);
    if (r >= 0) {
      got = static_cast<size_t>(r);
      return true;
    }
    if (errno != EINTR) {
      error = "cannot read input: " + ErrnoText(errno);
      return false;
    }
  }
}

bool TTextBuffer::Decode(std::string_view bytes, size_t streamOffset, std::string& error) {
  if (bytes.size() > FCapacity) {
    FCapacity = std::max(bytes.size(), FCapacity + FCapacity / 2);
    FData.reset(new char16_t[FCapacity]);  // not value-initialised: filled by decoding
  }
  FSize = 0;
  size_t bad = 0;
  auto units = DecodeUtf8To(bytes, FData.get(), &bad);
  if (!units) {
    error = BadUtf8Message(streamOffset + bad);
    return false;
  }
  FSize = *units;
  return true;
}

TOutput::TPiece& TOutput::PieceWithRoom(size_t room) {
  if (FPieces.empty() || FPieces.back().Capacity - FPieces.back().Size < room) {
    TPiece piece;
    piece.Data.reset(static_cast<char*>(std::malloc(kOutPiece)));
    if (!piece.Data) throw std::bad_alloc();
    piece.Capacity = kOutPiece;
    FPieces.push_back(std::move(piece));
  }
  return FPieces.back();
}

void TOutput::AppendBytes(std::string_view bytes) {
  while (!bytes.empty()) {
    TPiece& last = PieceWithRoom(1);
    const size_t n = std::min(bytes.size(), last.Capacity - last.Size);
    std::memcpy(last.Data.get() + last.Size, bytes.data(), n);
    last.Size += n;
    bytes.remove_prefix(n);
  }
}

bool TOutput::Append(std::u16string_view text) {
  // Encoded straight into the pieces a slice at a time; a piece is left with
  // its end unused (and so never touched) when the next slice might not fit.
  constexpr size_t kSlice = size_t{32} << 10;
  static_assert(3 * kSlice + 3 <= kOutPiece);
  for (size_t pos = 0; pos < text.size();) {
    size_t len = std::min(kSlice, text.size() - pos);
    // Keep a surrogate pair within one slice.
    if (pos + len < text.size() && text[pos + len - 1] >= 0xD800 && text[pos + len - 1] <= 0xDBFF) ++len;
    TPiece& last = PieceWithRoom(3 * len);
    auto written = EncodeUtf8To(text.substr(pos, len), last.Data.get() + last.Size);
    if (!written) return false;
    last.Size += *written;
    pos += len;
  }
  return true;
}

void TOutput::Splice(TOutput&& other) {
  for (auto& p : other.FPieces) FPieces.push_back(std::move(p));
  other.FPieces.clear();
}

TOutput::TMark TOutput::End() const {
  if (FPieces.empty()) return {};
  return {FPieces.size() - 1, FPieces.back().Size};
}

void TOutput::Runs(TMark from, TMark to, std::vector<std::string_view>& runs) const {
  // A piece that is no longer the last one keeps its size.
  for (size_t p = from.Piece; p <= to.Piece && p < FPieces.size(); ++p) {
    const size_t begin = p == from.Piece ? from.Offset : 0;
    const size_t end = p == to.Piece ? to.Offset : FPieces[p].Size;
    if (end > begin) runs.emplace_back(FPieces[p].Data.get() + begin, end - begin);
  }
}

bool TOutput::WriteToStdout(std::string& error) const {
  std::vector<std::string_view> runs;
  for (const auto& piece : FPieces) runs.emplace_back(piece.Data.get(), piece.Size);
  return WriteRunsToStdout(runs, error);
}

bool TOutput::WriteRunsToStdout(const std::vector<std::string_view>& runs, std::string& error) {
  for (const auto& run : runs) {
    const char* p = run.data();
    size_t n = run.size();
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
  }
  return true;
}

void GrowLineBuffer(std::unique_ptr<char[]>& buffer, size_t& capacity, size_t have) {
  std::unique_ptr<char[]> grown(new char[capacity * 2]);
  std::memcpy(grown.get(), buffer.get(), have);
  buffer = std::move(grown);
  capacity *= 2;
}

size_t WholeLinesLength(const char* p, size_t n) {
  while (n > 0 && p[n - 1] != '\n') --n;
  return n;
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
    error = "too large";
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
    error = "unreadable: code page 932 conversion is not available (" + ErrnoText(errno) + ")";
    return false;
  }
  // A code page 932 character gives one UTF-16 unit, never more than its bytes.
  std::string wide(bytes.size() * 2, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* o = wide.data();
  size_t outLeft = wide.size();
  const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) {
    error = "not valid code page 932 text (byte offset " + std::to_string(in - bytes.data()) + ")";
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
