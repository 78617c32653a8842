// marquill: inserts and deletes head symbols in the lines of a UTF-8 text,
// from standard input to standard output, with the plug-in's own engine.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <cstdio>
#include <exception>
#include <new>
#include <thread>
#include <optional>
#include <string>
#include <vector>

#include "Errors.h"
#include "FilterIo.h"
#include "HeadSymbolUnit.h"
#include "StrRecListUnit.h"
#include "StringRecordList.h"
#include "SymbolEntryUnit.h"
#include "Utf.h"

#ifdef _WIN32
#include <cwchar>
#endif

namespace {

const char kUsage[] =
    "Usage: marquill COMMAND [OPTION]... [--] [SYMBOL]...\n"
    "Inserts or deletes head symbols in the lines of a UTF-8 text read from\n"
    "standard input and writes the result to standard output. Line breaks\n"
    "(CR LF, CR, LF) and every unchanged line come out exactly as they came in.\n"
    "\n"
    "Commands:\n"
    "  insert [--at head|char] [--lines all|nonblank|least|after-blank] SYMBOL\n"
    "      Insert SYMBOL at the head of the lines (--at head, the default) or at\n"
    "      the column of the least indentation (--at char), in all lines (the\n"
    "      default), the non-blank lines, the lines of least indentation, or the\n"
    "      first non-blank line of the text and of each paragraph.\n"
    "  delete SYMBOL\n"
    "      Remove SYMBOL, or SYMBOL without its surrounding blanks, where it\n"
    "      stands right after the indentation of a line.\n"
    "  delete-once SYMBOL... | delete-once --settings FILE\n"
    "      One pass over every line with each symbol in the order given.\n"
    "  delete-all SYMBOL... | delete-all --settings FILE\n"
    "      Repeat such passes until nothing changes.\n"
    "  entries --settings FILE\n"
    "      Print the valid entries of FILE: symbol, a tab and the caption.\n"
    "\n"
    "Options:\n"
    "  --settings FILE  use the symbols of a settings file: code page 932 text,\n"
    "                   one entry per line, symbol TAB caption\n"
    "  -h, --help       show this help and exit\n"
    "  --version        show the version and exit\n"
    "  --               end of options (needed before a SYMBOL such as -x that\n"
    "                   begins with '-' and a letter)\n"
    "\n"
    "A SYMBOL is taken verbatim: it must not be empty or hold a tab or a line break.\n"
    "Exit status: 0 on success, 1 when the output cannot be written, 2 on bad\n"
    "input or a usage error (nothing is written to standard output then).\n";

constexpr int kExitWrite = 1;
constexpr int kExitBad = 2;

// A failure that ends the program with a message on stderr.
struct Failure {
  int status;
  std::string message;
  bool hint = false;  // add the pointer to --help
};

[[noreturn]] void Usage(const std::string& message) { throw Failure{kExitBad, message, true}; }
[[noreturn]] void BadInput(const std::string& message) { throw Failure{kExitBad, message}; }

// Text for messages: the argument quoted, control characters shown escaped.
std::string Quote(const std::string& s) {
  std::string q = "'";
  for (unsigned char c : s) {
    if (c == '\t') q += "\\t";
    else if (c == '\r') q += "\\r";
    else if (c == '\n') q += "\\n";
    else q += static_cast<char>(c);
  }
  return q + "'";
}

enum class Command { Insert, Delete, DeleteOnce, DeleteAll, Entries };

struct Options {
  Command command{};
  std::string commandName;
  TInsertPosition position = ipLineHead;
  TTargetLines target = tlAll;
  std::optional<std::string> settings;
  std::vector<std::string> symbols;
};

// An argument of the shape -x or --word is an option; "-", "- ", "->" and the
// like are symbols, as head symbols often begin with a dash.
bool LooksLikeOption(const std::string& a) {
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (a.size() >= 2 && a[0] == '-' && letter(a[1])) return true;
  return a.size() >= 3 && a[0] == '-' && a[1] == '-' && letter(a[2]);
}

Options ParseArguments(const std::vector<std::string>& args, bool& help, bool& version) {
  Options o;
  help = version = false;
  if (args.empty()) Usage("missing command");
  for (const auto& a : args) {
    if (a == "--") break;
    if (a == "-h" || a == "--help") {
      help = true;
      return o;
    }
    if (a == "--version") {
      version = true;
      return o;
    }
  }
  const std::string& name = args[0];
  if (name == "insert") o.command = Command::Insert;
  else if (name == "delete") o.command = Command::Delete;
  else if (name == "delete-once") o.command = Command::DeleteOnce;
  else if (name == "delete-all") o.command = Command::DeleteAll;
  else if (name == "entries") o.command = Command::Entries;
  else if (LooksLikeOption(name)) Usage("unknown option " + Quote(name) + " (a command comes first)");
  else Usage("unknown command " + Quote(name));
  o.commandName = name;

  const bool isInsert = o.command == Command::Insert;
  const bool takesSettings =
      o.command == Command::DeleteOnce || o.command == Command::DeleteAll || o.command == Command::Entries;
  bool optionsEnded = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!optionsEnded && a == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || !LooksLikeOption(a)) {
      o.symbols.push_back(a);
      continue;
    }
    // --name VALUE or --name=VALUE
    std::string key = a;
    std::optional<std::string> value;
    if (size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      key = a.substr(0, eq);
      value = a.substr(eq + 1);
    }
    auto takeValue = [&]() -> std::string {
      if (value) return *value;
      if (i + 1 >= args.size()) Usage("option " + key + " needs a value");
      return args[++i];
    };
    if (isInsert && key == "--at") {
      std::string v = takeValue();
      if (v == "head") o.position = ipLineHead;
      else if (v == "char") o.position = ipFirstChar;
      else Usage("invalid value " + Quote(v) + " for --at (head or char)");
    } else if (isInsert && key == "--lines") {
      std::string v = takeValue();
      if (v == "all") o.target = tlAll;
      else if (v == "nonblank") o.target = tlNonBlank;
      else if (v == "least") o.target = tlLeastIndent;
      else if (v == "after-blank") o.target = tlAfterBlank;
      else Usage("invalid value " + Quote(v) + " for --lines (all, nonblank, least or after-blank)");
    } else if (takesSettings && key == "--settings") {
      std::string v = takeValue();
      if (v.empty()) Usage("option --settings needs a file name");
      o.settings = v;
    } else {
      Usage("unknown option " + Quote(a) + " for " + name + " (put -- before a SYMBOL that begins with '-')");
    }
  }

  switch (o.command) {
    case Command::Insert:
    case Command::Delete:
      if (o.symbols.empty()) Usage("missing SYMBOL");
      if (o.symbols.size() > 1) Usage("too many arguments: " + name + " takes one SYMBOL");
      break;
    case Command::DeleteOnce:
    case Command::DeleteAll:
      if (o.settings && !o.symbols.empty()) Usage("give either SYMBOLs or --settings, not both");
      if (!o.settings && o.symbols.empty()) Usage("missing SYMBOL (or --settings FILE)");
      break;
    case Command::Entries:
      if (!o.symbols.empty()) Usage("unexpected argument " + Quote(o.symbols[0]));
      if (!o.settings) Usage("missing --settings FILE");
      break;
  }
  return o;
}

std::u16string SymbolFromArgument(const std::string& s) {
  if (s.empty()) BadInput("the SYMBOL is empty");
  auto u = Utf8ToUtf16(s);
  if (!u) BadInput("the SYMBOL " + Quote(s) + " is not valid UTF-8");
  for (char16_t c : *u)
    if (c == u'\t' || c == u'\r' || c == u'\n') BadInput("the SYMBOL " + Quote(s) + " holds a tab or a line break");
  return std::move(*u);
}

// A symbol entry whose symbol is exactly `symbol`.
std::u16string EntryOf(const std::u16string& symbol) { return symbol + u"\t" + u"-"; }

// The valid entries of a settings file, in file order.
void LoadSettings(const std::string& path, TCommonStringRecordList& list) {
  std::string bytes, error;
  if (!ReadWholeFile(path, bytes, error)) BadInput("cannot read settings file " + Quote(path) + ": " + error);
  std::u16string text;
  if (!DecodeCp932(bytes, text, error)) BadInput("settings file " + Quote(path) + " is " + error);
  list.SetText(text);
  for (int32_t i = list.Count() - 1; i >= 0; --i)
    if (!IsValidEntry(list.Item(i))) list.Delete(i);
}

void ListEntries(const std::string& path) {
  TCommonStringRecordList list;
  LoadSettings(path, list);
  std::string out;
  for (int32_t i = 0; i < list.Count(); ++i) {
    out += Utf16ToUtf8Lossy(SymbolOfEntry(list.Item(i)));
    out += '\t';
    out += Utf16ToUtf8Lossy(CaptionOfEntry(list.Item(i)));
    out += '\n';
  }
  TOutput output;
  output.AppendBytes(out);
  std::string error;
  if (!output.WriteToStdout(error)) throw Failure{kExitWrite, error};
}

// True when every line's result depends on that line alone, so that pieces
// of whole lines can be transformed one by one: the deletions, and insertion
// before every line or every non-blank line. The other insertions look at the
// whole text (least indentation, paragraph starts).
bool WorksLineByLine(const Options& o) {
  if (o.command != Command::Insert) return true;
  return o.position == ipLineHead && (o.target == tlAll || o.target == tlNonBlank);
}

struct TJob {
  const Options& Opts;
  const std::u16string& Symbol;
  const TCommonStringRecordList& Entries;

  std::u16string Transform(std::u16string_view text) const {
    switch (Opts.command) {
      case Command::Insert: return InsertHeadSymbol(text, Symbol, Opts.position, Opts.target);
      case Command::Delete: return DeleteSpecifiedHeadSymbol(text, Entries.Item(0));
      case Command::DeleteOnce: return DeleteHeadSymbolsOnce(text, Entries);
      case Command::DeleteAll: return DeleteHeadSymbolsAll(text, Entries);
      case Command::Entries: break;
    }
    return std::u16string(text);
  }
};

// Pieces of whole lines are about this size: small enough to stay in the cache.
constexpr size_t kPiece = size_t{128} << 10;

// Threads that transform pieces.
size_t WorkerThreads() { return std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4); }

[[noreturn]] void NotUnicode() { throw Failure{kExitWrite, "internal error: the result is not valid Unicode"}; }

// The whole text at once: decode, release the bytes, transform, release the
// text, encode.
void TransformWhole(const TJob& job, TInput& input, TOutput& output) {
  std::u16string result;
  {
    TTextBuffer text;
    std::string message;
    if (!text.Decode(input.Bytes(), 0, message)) BadInput(message);
    input.Release();
    result = job.Transform(text.Text());
  }
  if (!output.Append(result)) NotUnicode();
}

// Standard input that can only be read in order (a pipe): a reader cuts it
// into pieces of whole lines while a few threads decode, transform and
// encode the pieces already read, each small enough to stay in the cache.
// The results are written in input order once everything has succeeded.
void TransformStream(const TJob& job, TOutput& output) {
  const size_t threads = WorkerThreads();

  struct TBuffer {
    std::unique_ptr<char[]> Data;
    size_t Capacity = 0;
  };
  struct TPiece {
    TBuffer Bytes;
    size_t Size = 0, Offset = 0;
    // The result, filled in by the thread that takes the piece.
    size_t Worker = 0;
    TOutput::TMark From, To;
    std::string Error;  // bad input
    bool NotUnicode = false;
  };
  struct TWorker {
    TOutput Out;
    std::exception_ptr Raised;
  };
  std::mutex lock;
  std::condition_variable changed;
  std::deque<TPiece> pieces;    // every piece, in input order
  size_t next = 0;              // the first piece not taken yet
  bool ended = false, failed = false;
  std::vector<TBuffer> spare;   // buffers of finished pieces
  size_t buffers = 0;           // in use or spare
  const size_t kBuffers = 2 * threads + 2;

  std::vector<TWorker> workers(threads);
  auto work = [&](size_t index) {
    TWorker& w = workers[index];
    TTextBuffer text;
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
      changed.wait(held, [&] { return next < pieces.size() || ended; });
      if (next == pieces.size()) return;
      TPiece& piece = pieces[next++];
      held.unlock();
      bool ok = false;
      try {
        piece.Worker = index;
        piece.From = w.Out.End();
        if (text.Decode(std::string_view(piece.Bytes.Data.get(), piece.Size), piece.Offset, piece.Error)) {
          piece.NotUnicode = !w.Out.Append(job.Transform(text.Text()));
          ok = !piece.NotUnicode;
        }
        piece.To = w.Out.End();
      } catch (...) {
        if (!w.Raised) w.Raised = std::current_exception();
      }
      held.lock();
      spare.push_back(std::move(piece.Bytes));
      if (!ok) failed = true;
      changed.notify_all();
    }
  };
  std::vector<std::thread> running;
  for (size_t t = 0; t < threads; ++t) running.emplace_back(work, t);

  // Reading: a piece is handed over when its buffer is full, cut after its
  // last LF; the rest begins the next piece.
  std::string readError;
  try {
    TBuffer cur;
    size_t have = 0, offset = 0;
    auto take = [&]() {  // a buffer: a spare one, a new one, or wait
      std::unique_lock<std::mutex> held(lock);
      changed.wait(held, [&] { return !spare.empty() || buffers < kBuffers || failed; });
      TBuffer b;
      if (!spare.empty()) {
        b = std::move(spare.back());
        spare.pop_back();
      } else {
        ++buffers;
        b.Data.reset(new char[kPiece]);
        b.Capacity = kPiece;
      }
      return b;
    };
    auto hand = [&](TBuffer&& b, size_t size) {
      std::lock_guard<std::mutex> held(lock);
      pieces.emplace_back();
      pieces.back().Bytes = std::move(b);
      pieces.back().Size = size;
      pieces.back().Offset = offset;
      changed.notify_all();
    };
    cur = take();
    for (;;) {
      bool stop = false;
      {
        std::lock_guard<std::mutex> held(lock);
        stop = failed;
      }
      if (stop) {
        // The rest is read but not looked at, as when reading everything
        // first: whatever writes into the pipe is not cut off.
        for (size_t got = 1; got > 0;)
          if (!ReadStdinSome(cur.Data.get(), cur.Capacity, got, readError)) break;
        break;
      }
      if (have == cur.Capacity) GrowLineBuffer(cur.Data, cur.Capacity, have);  // a line longer than the buffer
      size_t got = 0;
      if (!ReadStdinSome(cur.Data.get() + have, cur.Capacity - have, got, readError)) break;
      if (got == 0) {
        if (have > 0) hand(std::move(cur), have);
        break;
      }
      have += got;
      if (have < cur.Capacity) continue;
      const size_t cut = WholeLinesLength(cur.Data.get(), have);
      if (cut == 0) continue;
      TBuffer after = take();
      if (after.Capacity < have - cut) {
        after.Data.reset(new char[cur.Capacity]);
        after.Capacity = cur.Capacity;
      }
      std::memcpy(after.Data.get(), cur.Data.get() + cut, have - cut);
      hand(std::move(cur), cut);
      cur = std::move(after);
      offset += cut;
      have -= cut;
    }
  } catch (...) {
    {
      std::lock_guard<std::mutex> held(lock);
      ended = true;
      changed.notify_all();
    }
    for (auto& th : running) th.join();
    throw;
  }
  {
    std::lock_guard<std::mutex> held(lock);
    ended = true;
    changed.notify_all();
  }
  for (auto& th : running) th.join();

  for (auto& w : workers)
    if (w.Raised) std::rethrow_exception(w.Raised);
  // The first failing piece holds the first failure of the input; a read
  // error comes after every piece read.
  std::vector<std::string_view> runs;
  for (const auto& piece : pieces) {
    if (!piece.Error.empty()) BadInput(piece.Error);
    if (piece.NotUnicode) NotUnicode();
    workers[piece.Worker].Out.Runs(piece.From, piece.To, runs);
  }
  if (!readError.empty()) BadInput(readError);
  // An empty text is handed over as it is: insertion gives the symbol then.
  if (pieces.empty()) {
    if (!output.Append(job.Transform(u""))) NotUnicode();
    return;
  }
  std::string error;
  if (!TOutput::WriteRunsToStdout(runs, error)) throw Failure{kExitWrite, error};
}

// Standard input as a regular file: a range of whole lines for each thread,
// read, decoded, transformed and encoded a small piece at a time. Returns the
// number of bytes read.
size_t TransformFileByRanges(const TJob& job, const TInputFile& file, TOutput& output) {
  size_t threads = std::min(WorkerThreads(), (file.Size() / kPiece + 7) / 8);  // not worth it for small inputs
  threads = std::max<size_t>(threads, 1);

  struct TWorker {
    size_t Begin = 0, End = 0, Reached = 0;
    TOutput Out;
    std::string Error;  // bad or unreadable input
    bool NotUnicode = false;
    std::exception_ptr Raised;
  };
  std::vector<TWorker> workers(threads);
  std::string error;
  for (size_t t = 1; t < threads; ++t) {
    size_t start = TInputFile::kToEnd;
    if (workers[t - 1].Begin != TInputFile::kToEnd && !file.LineStartAt(file.Size() / threads * t, start, error))
      BadInput(error);
    workers[t].Begin = workers[t - 1].End = start;
  }
  workers[threads - 1].End = TInputFile::kToEnd;

  auto work = [&](TWorker& w) {
    try {
      if (w.Begin == TInputFile::kToEnd) return;
      TTextBuffer text;
      auto take = [&](std::string_view bytes, size_t offset) {
        if (!text.Decode(bytes, offset, w.Error)) return false;
        if (!w.Out.Append(job.Transform(text.Text()))) {
          w.NotUnicode = true;
          return false;
        }
        return true;
      };
      file.ReadLines(w.Begin, w.End, take, w.Reached, w.Error);
    } catch (...) {
      w.Raised = std::current_exception();
    }
  };
  std::vector<std::thread> running;
  for (size_t t = 1; t < threads; ++t) running.emplace_back(work, std::ref(workers[t]));
  work(workers[0]);
  for (auto& th : running) th.join();

  // The first failing range holds the first failure of the input.
  size_t reached = 0;
  for (auto& w : workers) {
    if (w.Raised) std::rethrow_exception(w.Raised);
    if (!w.Error.empty()) BadInput(w.Error);
    if (w.NotUnicode) NotUnicode();
    output.Splice(std::move(w.Out));
    reached = std::max(reached, w.Reached);
  }
  return reached;
}

void Filter(const Options& o) {
  // Everything that can be refused is checked before the input is read.
  TCommonStringRecordList entries;
  std::u16string symbol;
  if (o.settings) {
    LoadSettings(*o.settings, entries);
  } else {
    for (const auto& s : o.symbols) entries.Add(EntryOf(SymbolFromArgument(s)));
    if (o.command == Command::Insert) symbol = SymbolFromArgument(o.symbols[0]);
  }

  const TJob job{o, symbol, entries};
  TOutput output;
  std::string error;
  if (TInputFile file; WorksLineByLine(o) && file.Open() && file.Size() > 0) {
    file.Finish(TransformFileByRanges(job, file, output));
    if (!output.WriteToStdout(error)) throw Failure{kExitWrite, error};
    return;
  }
  if (WorksLineByLine(o)) {
    TransformStream(job, output);
  } else {
    TInput input;
    if (!input.ReadStdin(error)) BadInput(error);
    TransformWhole(job, input, output);
  }
  if (!output.WriteToStdout(error)) throw Failure{kExitWrite, error};
}

int Run(const std::vector<std::string>& args) {
  try {
    bool help = false, version = false;
    Options o = ParseArguments(args, help, version);
    if (help || version) {
      TOutput text;
      text.AppendBytes(help ? kUsage : "marquill 3.3.2\n");
      std::string error;
      if (!text.WriteToStdout(error)) throw Failure{kExitWrite, error};
      return 0;
    }
    if (o.command == Command::Entries) ListEntries(*o.settings);
    else Filter(o);
    return 0;
  } catch (const Failure& f) {
    std::fprintf(stderr, "marquill: %s\n", f.message.c_str());
    if (f.hint) std::fprintf(stderr, "Try 'marquill --help' for more information.\n");
    return f.status;
  } catch (const EMarquillError& e) {
    std::fprintf(stderr, "marquill: cannot process the input: %s\n", e.what());
    return kExitBad;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "marquill: out of memory\n");
    return kExitWrite;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "marquill: %s\n", e.what());
    return kExitWrite;
  }
}

}  // namespace

#ifdef _WIN32
// Arguments arrive as UTF-16 so that symbols and file names outside the ANSI
// code page survive.
int wmain(int argc, wchar_t** argv) {
  PrepareStdio();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::u16string_view w(reinterpret_cast<const char16_t*>(argv[i]), std::wcslen(argv[i]));
    auto u = Utf16ToUtf8(w);
    if (!u) {
      std::fprintf(stderr, "marquill: argument %d is not valid Unicode\n", i);
      return kExitBad;
    }
    args.push_back(std::move(*u));
  }
  return Run(args);
}
#else
int main(int argc, char** argv) {
  PrepareStdio();
  return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
