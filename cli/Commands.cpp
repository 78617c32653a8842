// The filter's verbs carried out on their files.
#include "Commands.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "EditUnit.h"
#include "EntriesJson.h"
#include "Files.h"
#include "InPlace.h"
#include "Messages.h"
#include "Pipeline.h"
#include "SettingsFile.h"
#include "Translate.h"

namespace {

constexpr size_t kScanBlock = 1 << 16;

// The symbols of the edit: from the command line, every valid entry of the
// settings file, or the one entry --entry picks.
std::vector<std::u16string> SymbolsOf(const TFilterOptions& o) {
  std::vector<std::u16string> symbols;
  if (!o.FromSettings) {
    for (const std::string& s : o.Symbols) symbols.push_back(SymbolFromArgument(s));
    return symbols;
  }
  TCommonStringRecordList entries;
  LoadSettingsEntries(SettingsPathOf(o), o.SettingsEncoding, entries);
  if (o.Entry) symbols.push_back(SymbolOfChosenEntry(entries, *o.Entry));
  else symbols = SymbolsOfEntries(entries);
  return symbols;
}

long ReadBlock(const TTextSource& source, char* block) {
  const long r = ReadSome(source.Fd, block, kScanBlock);
  if (r < 0) FailIo(Fill(_("cannot read %s: %s"), {source.Name(), ErrorText(errno)}));
  return r;
}

// A file read once more from the start, when a pipe or a terminal cannot
// be: an unnamed temporary file, gone when closed.
struct TSpool {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> File{nullptr, &std::fclose};
#ifdef _WIN32
  int Fd() const { return _fileno(File.get()); }
#else
  int Fd() const { return fileno(File.get()); }
#endif
};

// The toggle's choice for a source, which is then read again from where it
// began. A regular file whose times can prove it unchanged is scanned until
// the choice is settled and rewound, and the edit reads it only while it
// stays as the scan found it; anything else is kept whole in Spool, which
// takes the source's place, so that the edit sees the bytes the scan saw.
TToggleChoice ChooseToggleOf(const std::u16string& symbol, TTextSource& source, TSpool& spool) {
  TToggleScan scan(symbol);
  std::unique_ptr<char[]> block(new char[kScanBlock]);
  const TFileKind kind = KindOfDescriptor(source.Fd);
  if (kind.Regular && kind.TimesProve) {
    for (long r; !scan.Settled() && (r = ReadBlock(source, block.get())) > 0;)
      scan.Feed(std::string_view(block.get(), static_cast<size_t>(r)));
    if (!SeekTo(source.Fd, kind.Offset)) FailIo(Fill(_("cannot read %s again: %s"), {source.Name(), ErrorText(errno)}));
    source.ReadBefore = kind;
    BetweenReadings();
    return scan.Finish();
  }
  spool.File.reset(std::tmpfile());
  if (!spool.File) FailIo(Fill(_("cannot keep %s in a temporary file: %s"), {source.Name(), ErrorText(errno)}));
  const std::string spoolName = _("a temporary file");
  for (long r; (r = ReadBlock(source, block.get())) > 0;) {
    if (!scan.Settled()) scan.Feed(std::string_view(block.get(), static_cast<size_t>(r)));
    WriteAll(spool.Fd(), block.get(), static_cast<size_t>(r), spoolName);
  }
  if (!SeekTo(spool.Fd(), 0)) FailIo(Fill(_("cannot read %s again: %s"), {spoolName, ErrorText(errno)}));
  source.Fd = spool.Fd();
  BetweenReadings();
  return scan.Finish();
}

// The edit of one source: the edit of the options, or for toggle the one
// its choice makes on this source.
TEditOutcome EditSource(const TEdit& edit, const TFilterOptions& o, TTextSource source, const TTextSink& sink,
                        bool noteChanges) {
  if (o.Verb != TVerb::Toggle) return EditText(edit, source, sink, noteChanges);
  TSpool spool;
  const TToggleChoice choice = ChooseToggleOf(edit.Symbol, source, spool);
  return EditText(ToggleEdit(edit, choice), source, sink, noteChanges);
}

// Refused as cat refuses it: the output would be read again as input, and
// when it is appended to, without end.
void RefuseOwnOutput(const TTextSource& source, const TTextSink& sink) {
  if (ReadsItsOwnOutput(source.Fd, sink.Fd)) FailIo(Fill(_("%s is the output file too"), {source.Name()}));
}

void EditToStdout(const TEdit& edit, const TFilterOptions& o) {
  const TTextSink sink{1, _("output")};
  const std::vector<std::string> files = o.Files.empty() ? std::vector<std::string>{"-"} : o.Files;
  for (const std::string& file : files) {
    if (file == "-") {
      RefuseOwnOutput(TTextSource{0, "-", {}}, sink);
      EditSource(edit, o, TTextSource{0, "-", {}}, sink, false);
      continue;
    }
    const int fd = OpenForReading(file);
    try {
      RefuseOwnOutput(TTextSource{fd, file, {}}, sink);
      EditSource(edit, o, TTextSource{fd, file, {}}, sink, false);
    } catch (...) {
      CloseDescriptor(fd);
      throw;
    }
    CloseDescriptor(fd);
  }
}

// Each file is read whole into a temporary file beside it, which takes its
// place only when everything succeeded and the text changed.
void EditInPlace(const TEdit& edit, const TFilterOptions& o) {
  for (const std::string& file : o.Files) {
    TReadFile read;
    read.Fd = OpenForEditing(file);
    read.Stamp = StampOfDescriptor(read.Fd);
    TTempFile temp;
    try {
      temp = CreateTempBeside(file);
      const TEditOutcome outcome =
          EditSource(edit, o, TTextSource{read.Fd, file, {}}, TTextSink{temp.Fd, Quote(file)}, true);
      if (outcome.Changed) ReplaceByTemp(temp, file, o.BackupSuffix, read);
      else if (!DiscardTemp(temp)) FailIo(Fill(_("cannot remove %s: %s"), {Quote(temp.Path), ErrorText(errno)}));
    } catch (...) {
      if (read.Fd >= 0) CloseDescriptor(read.Fd);
      DiscardTemp(temp);
      throw;
    }
    if (read.Fd >= 0) CloseDescriptor(read.Fd);
  }
}

}  // namespace

void RunCommand(const TFilterOptions& Options) {
  if (Options.Verb == TVerb::Entries) {
    std::string listing;
    if (Options.Json) {
      listing = EntriesJson(Options);
    } else {
      TCommonStringRecordList entries;
      LoadSettingsEntries(SettingsPathOf(Options), Options.SettingsEncoding, entries);
      listing = FormatEntries(entries, Options.Null);
    }
    WriteAll(1, listing.data(), listing.size(), _("output"));
    return;
  }
  // Everything that can be refused is checked before any input is read.
  const TEdit edit = EditOfOptions(Options, SymbolsOf(Options));
  if (Options.InPlace) EditInPlace(edit, Options);
  else EditToStdout(edit, Options);
}
