// The filter's verbs for the WebAssembly module: its command line run on an
// in-memory input file, writing an in-memory output file, with the failure
// kept for the caller instead of printed.
#include <emscripten.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <new>
#include <unordered_map>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Commands.h"
#include "EntriesJson.h"
#include "Files.h"
#include "Messages.h"
#include "Pipeline.h"
#include "SettingsFile.h"
#include "StringRecordList.h"
#include "SymbolEntryUnit.h"
#include "Utf.h"
#include "Translate.h"

namespace {

constexpr char kInput[] = "/io/input";
constexpr char kOutput[] = "/io/output";

// The last failure as JSON: {"status": N, "message": "...", "place": "..."}.
std::string gFailure;
std::string gDetails;

void Keep(int status, const std::string& message, const std::string& place) {
  gFailure = "{\"status\": " + std::to_string(status) + ", \"message\": " + JsonString(message) +
             ", \"place\": " + JsonString(place) + "}";
}

// Standard input from kInput, standard output to kOutput (emptied).
bool Redirect() {
  const int in = open(kInput, O_RDONLY);
  const int out = open(kOutput, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const bool done = in >= 0 && out >= 0 && dup2(in, 0) == 0 && dup2(out, 1) == 1;
  if (in > 0) close(in);
  if (out > 1) close(out);
  return done;
}

}  // namespace

// Runs the filter with the Size bytes of Args, arguments each ended by a NUL:
// 0 on success, else the filter's exit status, with marquill_failure telling why.
extern "C" EMSCRIPTEN_KEEPALIVE int marquill_run(const char* Args, int Size) {
  gFailure.clear();
  std::vector<std::string> args;
  for (int start = 0, i = 0; i < Size; ++i) {
    if (Args[i] != '\0') continue;
    args.emplace_back(Args + start, Args + i);
    start = i + 1;
  }
  ForceCrewWorkers(0);  // one thread: the module has no others
  try {
    if (!Redirect()) FailIo(_("cannot open the module's in-memory files"));
    const TFilterOptions options = ParseArguments(args);
    RunCommand(options);
    return 0;
  } catch (const TFailure& f) {
    Keep(f.Status, f.Message, f.Place);
    return f.Status;
  } catch (const std::bad_alloc&) {
    Keep(kExitIo, _("out of memory"), "");
    return kExitIo;
  } catch (const std::exception& e) {
    Keep(kExitIo, e.what(), "");
    return kExitIo;
  }
}

// The last run's failure as JSON, or an empty string after a success.
extern "C" EMSCRIPTEN_KEEPALIVE const char* marquill_failure() { return gFailure.c_str(); }

// What the menu needs beyond the filter's listing, for the settings file at
// Path (UTF-8, NUL-ended): {"captions": [...], "ignored": [...]}, each valid
// entry's caption as the menu shows it with its access key ("Mail (M)" of
// "Mail(&M)"), and the numbers (from 1) of the lines that are neither blank
// nor an entry. An empty string when the file cannot be read or decoded.
extern "C" EMSCRIPTEN_KEEPALIVE const char* marquill_settings_details(const char* Path) {
  gDetails.clear();
  try {
    const std::string path(Path);
    const std::u16string text = SettingsTextOf(ReadSettingsFile(path), TSettingsEncoding::Auto, path);
    TCommonStringRecordList lines;
    lines.SetText(text);
    std::string captions, ignored;
    for (int32_t i = 0; i < lines.Count(); ++i) {
      const std::u16string& line = lines.Item(i);
      if (IsValidEntry(line)) {
        captions += (captions.empty() ? "" : ", ") + JsonString(Utf16ToUtf8Lossy(MenuCaption(CaptionOfEntry(line), false)));
      } else if (line.find_first_not_of(u" \t\r\n\u3000") != std::u16string::npos) {
        ignored += (ignored.empty() ? "" : ", ") + std::to_string(i + 1);
      }
    }
    gDetails = "{\"captions\": [" + captions + "], \"ignored\": [" + ignored + "]}";
  } catch (...) {
    gDetails.clear();  // the listing tells why
  }
  return gDetails.c_str();
}

// The catalogue in use: each message's translation (the first form of a plural).
std::unordered_map<std::string, std::string> gCatalogue;

// The filter's message lookup (Translate.h), from the catalogue given: the C
// library of the module cannot load one itself.
extern "C" char* dgettext(const char*, const char* Message) {
  const auto found = gCatalogue.find(Message);
  return const_cast<char*>(found == gCatalogue.end() ? Message : found->second.c_str());
}

bool ModuleHasCatalogue() { return !gCatalogue.empty(); }

// Messages from the compiled catalogue (a GNU .mo file) of Size bytes at
// Bytes, little-endian as msgfmt writes it here; none after bad bytes.
extern "C" EMSCRIPTEN_KEEPALIVE void marquill_catalogue(const unsigned char* Bytes, int Size) {
  gCatalogue.clear();
  const auto size = static_cast<uint32_t>(Size);
  const auto word = [&](uint32_t at) -> uint32_t {
    return at + 4 > size ? 0 : Bytes[at] | Bytes[at + 1] << 8 | Bytes[at + 2] << 16 | uint32_t{Bytes[at + 3]} << 24;
  };
  if (size < 20 || word(0) != 0x950412de) return;
  const uint32_t count = word(8), originals = word(12), translations = word(16);
  const auto text = [&](uint32_t table, uint32_t i) -> std::string {
    const uint32_t length = word(table + 8 * i), at = word(table + 8 * i + 4);
    if (at > size || length > size - at) return {};
    const std::string whole(reinterpret_cast<const char*>(Bytes) + at, length);
    return whole.substr(0, whole.find('\0'));  // a plural's first form
  };
  for (uint32_t i = 0; i < count && originals + 8 * i + 8 <= size && translations + 8 * i + 8 <= size; ++i) {
    std::string original = text(originals, i);
    if (!original.empty()) gCatalogue[std::move(original)] = text(translations, i);
  }
}
