// marquill: inserts and deletes head symbols in the lines of UTF-8 texts with
// the plug-in's own edits, as a Unix filter.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Commands.h"
#include "Files.h"
#include "Messages.h"
#include "Translate.h"

#ifdef _WIN32
#include <cwchar>

#include "Utf.h"
#else
#include <sys/stat.h>
#include <unistd.h>

#include <libintl.h>

#include <clocale>
#endif

#ifndef MARQUILL_VERSION
#define MARQUILL_VERSION "unknown"
#endif

namespace {

// --stdin-only before any "--": the caller is an editor, which shows no
// hints written for the shell.
bool AsksStdinOnly(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--") return false;
    if (a == "--stdin-only") return true;
  }
  return false;
}

int Run(const std::vector<std::string>& args) {
  try {
    const TFilterOptions options = ParseArguments(args);
    if (options.Help || options.Version) {
      const std::string text = options.Help ? UsageText() : "marquill " MARQUILL_VERSION "\n";
      WriteAll(1, text.data(), text.size(), _("output"));
      return 0;
    }
    RunCommand(options);
    return 0;
  } catch (const TFailure& f) {
    std::fprintf(stderr, "%s\n", FailureText(f).c_str());
    if (f.Hint && !AsksStdinOnly(args)) std::fprintf(stderr, "%s\n", _("Try 'marquill --help' for more information."));
    return f.Status;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "marquill: %s\n", _("out of memory"));
    return kExitIo;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "marquill: %s\n", e.what());
    return kExitIo;
  }
}

// Ends without waiting for a reader that an early stop left blocked.
[[noreturn]] void Exit(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}

}  // namespace

#ifdef _WIN32
// Arguments arrive as UTF-16 so that symbols and file names outside the ANSI
// code page survive.
int wmain(int argc, wchar_t** argv) {
  PrepareProcess();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    auto u = Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(argv[i]), std::wcslen(argv[i])));
    if (!u) {
      std::fprintf(stderr, "marquill: %s\n", Fill(_("argument %s is not valid Unicode"), {std::to_string(i)}).c_str());
      return kExitBad;
    }
    args.push_back(std::move(*u));
  }
  Exit(Run(args));
}
#else
// Messages in the language of LC_ALL, LC_MESSAGES or LANG, from the
// catalogue where it is installed (../share/locale from the program) or
// beside the program in a build folder (locale/). Only LC_MESSAGES and
// LC_CTYPE are set: the system's reasons (strerror) are converted to the
// character set of LC_CTYPE, question marks under "C", and the program's
// messages are UTF-8 in any locale, so LC_CTYPE is a UTF-8 one. Nothing
// else here depends on the locale: no ctype classification, no numbers
// written with the locale's separators.
void UseMessageCatalogue() {
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "");
  if (!std::setlocale(LC_MESSAGES, "")) {
    // The UTF-8 locale asked for is not installed: its messages are still
    // shown, through the C locale's UTF-8 form and LANGUAGE.
    std::string asked;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* v = std::getenv(name);
      if (v && *v) {
        asked = v;
        break;
      }
    }
    const size_t dot = std::min(asked.find('.'), asked.size());
    std::string codeset;
    for (char c : asked.substr(dot, asked.find('@', dot) - dot))
      if (c != '.' && c != '-') codeset += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (codeset == "utf8" && std::setlocale(LC_MESSAGES, "C.UTF-8"))
      setenv("LANGUAGE", asked.substr(0, asked.find_first_of("_.@")).c_str(), 0);
  }
  std::string exe(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size() - 1);
  if (n > 0) {
    exe.resize(static_cast<size_t>(n));
    const std::string folder = exe.substr(0, exe.rfind('/') + 1);
    // Installed first: beside /usr/bin/marquill, "locale" is the locale program.
    for (const std::string& dir : {folder + "../share/locale", folder + "locale"}) {
      struct stat st {};
      if (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        bindtextdomain("marquill", dir.c_str());
        break;
      }
    }
  }
  bind_textdomain_codeset("marquill", "UTF-8");
}

int main(int argc, char** argv) {
  PrepareProcess();
  UseMessageCatalogue();
  Exit(Run(std::vector<std::string>(argv + 1, argv + argc)));
}
#endif
