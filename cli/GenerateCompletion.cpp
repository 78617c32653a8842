// marquill_completion_gen: writes marquill's bash completion at build time,
// the functions of a template with the verbs and options of the option table
// put in where the template's marker line stands.
// Usage: marquill_completion_gen TEMPLATE OUTPUT
#include <getopt.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "OptionTable.h"

namespace {

// The line of the template that the generated functions replace.
constexpr const char* kMarker = "# @MARQUILL_VOCABULARY@";

// A word as bash reads it back, quoted where it holds anything but
// letters, digits and - . _ / =.
std::string ShellWord(const std::string& word) {
  bool plain = !word.empty();
  for (char c : word) {
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.' || c == '_' || c == '/' || c == '=';
    plain = plain && safe;
  }
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The words joined as the list of printf or the patterns of a case arm.
std::string Joined(const std::vector<std::string>& words, const char* between) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : between) + ShellWord(w);
  return out;
}

// The names an option is given by on the command line: --long and -l.
std::vector<std::string> NamesOf(const TOptionSpec& option) {
  std::vector<std::string> names{std::string("--") + option.Name};
  if (option.Letter) names.push_back(std::string("-") + option.Letter);
  return names;
}

// An option whose value may come as the next word (an optional one must be
// joined to it).
bool TakesNextWord(const TOptionSpec& option) { return option.Argument == required_argument; }

// A function of one argument: a case with an arm per pattern list, each arm
// running its command; Otherwise runs after the case.
std::string CaseFunction(const char* comment, const char* name,
                         const std::vector<std::pair<std::vector<std::string>, std::string>>& arms,
                         const char* otherwise) {
  std::string out = std::string("# ") + comment + "\n" + name + "()\n{\n";
  if (!arms.empty()) {
    out += "    case $1 in\n";
    for (const auto& [patterns, command] : arms) out += "        " + Joined(patterns, " | ") + ") " + command + " ;;\n";
    out += "    esac\n";
  }
  return out + (*otherwise ? std::string("    ") + otherwise + "\n" : "") + "}\n";
}

std::string Print(const std::vector<std::string>& words) { return "printf '%s\\n' " + Joined(words, " "); }

std::string VerbsFunction() {
  std::vector<std::string> verbs;
  for (const TVerbName& verb : Verbs()) verbs.push_back(verb.Name);
  return "# The verbs, in the order the filter lists them.\n_marquill_verbs()\n{\n    " + Print(verbs) + "\n}\n";
}

std::string OptionsFunction() {
  std::vector<std::pair<std::vector<std::string>, std::string>> arms;
  for (const TVerbName& verb : Verbs()) {
    std::vector<std::string> names;
    for (const TOptionSpec& option : Options())
      if (VerbTakes(verb.Verb, option)) names.push_back(NamesOf(option).front());
    if (!names.empty()) arms.push_back({{verb.Name}, Print(names)});
  }
  return CaseFunction("The long names of the options VERB takes.", "_marquill_options", arms, "");
}

std::string TakesValueFunction() {
  std::vector<std::pair<std::vector<std::string>, std::string>> arms;
  for (const TVerbName& verb : Verbs()) {
    std::vector<std::string> names;
    for (const TOptionSpec& option : Options())
      if (VerbTakes(verb.Verb, option) && TakesNextWord(option))
        for (const std::string& name : NamesOf(option)) names.push_back(name);
    if (!names.empty()) arms.push_back({{verb.Name}, "case $2 in " + Joined(names, " | ") + ") return 0 ;; esac"});
  }
  return CaseFunction("True when VERB takes OPTION (either name) with its value in the next word.",
                      "_marquill_takes_value", arms, "return 1");
}

std::string ValuesFunction() {
  std::vector<std::pair<std::vector<std::string>, std::string>> arms;
  for (const TOptionSpec& option : Options())
    if (TakesNextWord(option) && !option.Values.empty())
      arms.push_back({NamesOf(option), Print(std::vector<std::string>(option.Values.begin(), option.Values.end()))});
  return CaseFunction("The values OPTION (either name) takes, where they are fixed.", "_marquill_values", arms, "");
}

std::string TakesFilesFunction() {
  std::vector<std::string> verbs;
  for (const TVerbName& verb : Verbs())
    if (verb.TakesFiles) verbs.push_back(verb.Name);
  std::vector<std::pair<std::vector<std::string>, std::string>> arms;
  if (!verbs.empty()) arms.push_back({verbs, "return 0"});
  return CaseFunction("True when VERB takes FILE operands.", "_marquill_takes_files", arms, "return 1");
}

std::string Vocabulary() {
  return "# The verbs and options of marquill, written in from its option table\n"
         "# when it was built.\n\n" +
         VerbsFunction() + "\n" + OptionsFunction() + "\n" + TakesValueFunction() + "\n" + ValuesFunction() + "\n" +
         TakesFilesFunction();
}

// The template with its marker line replaced; false when it has no marker
// or more than one.
bool FillTemplate(const std::string& text, std::string& out) {
  std::istringstream lines(text);
  std::string line;
  int markers = 0;
  while (std::getline(lines, line)) {
    if (line == kMarker) {
      ++markers;
      out += Vocabulary();
    } else {
      out += line + "\n";
    }
  }
  return markers == 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: marquill_completion_gen TEMPLATE OUTPUT\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::string out;
  if (!in || !FillTemplate(text.str(), out)) {
    std::fprintf(stderr, "marquill_completion_gen: %s: cannot read it, or not one line %s in it\n", argv[1], kMarker);
    return 1;
  }
  std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
  file << out;
  file.close();
  if (!file) {
    std::fprintf(stderr, "marquill_completion_gen: %s: cannot write it\n", argv[2]);
    std::remove(argv[2]);
    return 1;
  }
  return 0;
}
