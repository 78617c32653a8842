// The filter's verbs carried out on their files.
#include "Commands.h"

#include "EditUnit.h"
#include "Files.h"
#include "Messages.h"
#include "Pipeline.h"
#include "SettingsFile.h"

namespace {

const char kStdoutName[] = "output";

// The symbols of the edit: from the command line, every valid entry of the
// settings file, or the one entry --entry picks.
std::vector<std::u16string> SymbolsOf(const TFilterOptions& o) {
  std::vector<std::u16string> symbols;
  if (!o.Settings) {
    for (const std::string& s : o.Symbols) symbols.push_back(SymbolFromArgument(s));
    return symbols;
  }
  TCommonStringRecordList entries;
  LoadSettingsEntries(*o.Settings, o.SettingsEncoding, entries);
  if (o.Entry) symbols.push_back(SymbolOfChosenEntry(entries, *o.Entry));
  else symbols = SymbolsOfEntries(entries);
  return symbols;
}

void EditToStdout(const TEdit& edit, const TFilterOptions& o) {
  const TTextSink sink{1, kStdoutName};
  const std::vector<std::string> files = o.Files.empty() ? std::vector<std::string>{"-"} : o.Files;
  for (const std::string& file : files) {
    if (file == "-") {
      EditText(edit, TTextSource{0, "standard input", "-"}, sink, false);
      continue;
    }
    const int fd = OpenForReading(file);
    try {
      EditText(edit, TTextSource{fd, Quote(file), file}, sink, false);
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
    const int fd = OpenForEditing(file);
    TTempFile temp;
    try {
      temp = CreateTempBeside(file);
      const TEditOutcome outcome =
          EditText(edit, TTextSource{fd, Quote(file), file}, TTextSink{temp.Fd, Quote(temp.Path)}, true);
      CloseDescriptor(fd);
      if (outcome.Changed) ReplaceByTemp(temp, file, o.BackupSuffix);
      else DiscardTemp(temp);
    } catch (...) {
      CloseDescriptor(fd);
      DiscardTemp(temp);
      throw;
    }
  }
}

}  // namespace

void RunCommand(const TFilterOptions& Options) {
  if (Options.Verb == TVerb::Entries) {
    TCommonStringRecordList entries;
    LoadSettingsEntries(*Options.Settings, Options.SettingsEncoding, entries);
    const std::string listing = FormatEntries(entries, Options.Null);
    WriteAll(1, listing.data(), listing.size(), kStdoutName);
    return;
  }
  // Everything that can be refused is checked before any input is read.
  const TEdit edit = EditOfOptions(Options, SymbolsOf(Options));
  if (Options.InPlace) EditInPlace(edit, Options);
  else EditToStdout(edit, Options);
}
