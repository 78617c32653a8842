// The filter's verbs for the WebAssembly module: its command line run on an
// in-memory input file, writing an in-memory output file, with the failure
// kept for the caller instead of printed.
#include <emscripten.h>
#include <fcntl.h>
#include <unistd.h>

#include <new>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Commands.h"
#include "EntriesJson.h"
#include "Messages.h"
#include "Pipeline.h"
#include "Translate.h"

namespace {

constexpr char kInput[] = "/io/input";
constexpr char kOutput[] = "/io/output";

// The last failure as JSON: {"status": N, "message": "...", "place": "..."}.
std::string gFailure;

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
