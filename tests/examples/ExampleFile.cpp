// Golden example files: parsing, rendering and the arguments-to-edit mapping.
#include "ExampleFile.h"

#include <algorithm>

#include "Arguments.h"
#include "Messages.h"
#include "Utf.h"

namespace {

// Visible marks. Blanks: ␣ space, → tab, □ ideographic space. Line ends:
// ¶ CR LF, ␍ lone CR, ∅ no break (last line only); a line without a mark ends in LF.
constexpr char16_t kSpace = u'␣', kTab = u'→', kIdeo = u'□';
constexpr char16_t kCrLf = u'¶', kCr = u'␍', kNone = u'∅';

std::string At(size_t line) { return "line " + std::to_string(line) + ": "; }

std::vector<std::string_view> SplitLines(std::string_view file) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < file.size()) {
    size_t end = file.find('\n', start);
    if (end == std::string_view::npos) end = file.size();
    lines.push_back(file.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::u16string DecodeBlanks(std::u16string_view s) {
  std::u16string out;
  for (char16_t c : s) out += c == kSpace ? u' ' : c == kTab ? u'\t' : c == kIdeo ? u'\u3000' : c;
  return out;
}

// Shell-like words: blanks separate them, '...' keeps everything literally
// (blanks included), marks are decoded in every word.
bool SplitWords(std::string_view text, std::vector<std::u16string>& words, std::string& error) {
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : text) {
    if (c == '\'') {
      quoted = !quoted;
      inWord = true;
    } else if (c == ' ' && !quoted) {
      if (inWord) {
        auto w = Utf8ToUtf16(word);
        if (!w) return error = "not UTF-8", false;
        words.push_back(DecodeBlanks(*w));
      }
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quoted) return error = "unclosed quote", false;
  if (inWord) {
    auto w = Utf8ToUtf16(word);
    if (!w) return error = "not UTF-8", false;
    words.push_back(DecodeBlanks(*w));
  }
  return true;
}

}  // namespace

bool ParseBlock(const std::vector<std::string_view>& lines, std::u16string& text, std::string& error) {
  text.clear();
  for (size_t i = 0; i < lines.size(); ++i) {
    auto line = Utf8ToUtf16(lines[i]);
    if (!line) return error = "block line " + std::to_string(i + 1) + " is not UTF-8", false;
    std::u16string_view body = *line;
    std::u16string_view end = u"\n";
    if (!body.empty() && (body.back() == kCrLf || body.back() == kCr || body.back() == kNone)) {
      end = body.back() == kCrLf ? u"\r\n" : body.back() == kCr ? u"\r" : u"";
      if (body.back() == kNone && i + 1 != lines.size())
        return error = "block line " + std::to_string(i + 1) + ": ∅ marks the last line only", false;
      body.remove_suffix(1);
    }
    for (char16_t c : body) {
      if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\u3000')
        return error = "block line " + std::to_string(i + 1) + ": write blanks as ␣ → □", false;
      if (c == kCrLf || c == kCr || c == kNone)
        return error = "block line " + std::to_string(i + 1) + ": a line-end mark stands at the end only", false;
    }
    text += DecodeBlanks(body);
    text += end;
  }
  return true;
}

std::string RenderBlock(std::u16string_view text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      out += kCrLf;
      out += u'\n';
      i += 2;
      continue;
    }
    if (c == u'\r') {
      out += kCr;
      out += u'\n';
    } else if (c == u'\n') {
      out += u'\n';
    } else {
      out += c == u' ' ? kSpace : c == u'\t' ? kTab : c == u'\u3000' ? kIdeo : c;
    }
    ++i;
  }
  if (!text.empty() && text.back() != u'\r' && text.back() != u'\n') {
    out += kNone;
    out += u'\n';
  }
  return Utf16ToUtf8Lossy(out);
}

// "paths: engine dll" and the like: the words name the paths to run.
bool ParsePaths(std::string_view words, TExample& example) {
  example.ForEngine = example.ForFilter = example.ForDll = false;
  size_t at = 0;
  bool any = false;
  while (at < words.size()) {
    const size_t end = std::min(words.find(' ', at), words.size());
    const std::string_view word = words.substr(at, end - at);
    if (word == "engine") example.ForEngine = true;
    else if (word == "filter") example.ForFilter = true;
    else if (word == "dll") example.ForDll = true;
    else if (!word.empty()) return false;
    any = any || !word.empty();
    at = end + 1;
  }
  return any;
}

bool ParseExample(std::string_view file, TExample& example, std::string& error) {
  example = TExample{};
  if (file.find('\r') != std::string_view::npos) return error = "the file holds a CR: write line ends as marks", false;
  if (!file.empty() && file.back() != '\n') return error = "the file does not end with a line break", false;
  const std::vector<std::string_view> lines = SplitLines(file);
  size_t i = 0;
  for (; i < lines.size() && !StartsWith(lines[i], "=="); ++i) {
    const std::string_view l = lines[i];
    example.Preamble.emplace_back(l);
    if (l.empty() || l[0] == '#') continue;
    if (l == "breaks: fixed") example.BreaksMatter = true;
    else if (l == "breaks: any") example.BreaksMatter = false;
    else if (StartsWith(l, "paths:")) {
      if (!ParsePaths(l.substr(6), example)) return error = At(i + 1) + "paths are engine, filter and dll", false;
    } else return error = At(i + 1) + "unknown option '" + std::string(l) + "'", false;
  }
  if (i == lines.size() || lines[i] != "== input") return error = "no '== input' line", false;
  size_t heading = i++;
  bool inputDone = false;
  bool ended = false;
  while (!ended) {
    std::vector<std::string_view> block;
    for (; i < lines.size() && !StartsWith(lines[i], "=="); ++i) block.push_back(lines[i]);
    if (i == lines.size()) return error = "the file does not end with '== end'", false;
    std::u16string text;
    std::string blockError;
    if (!ParseBlock(block, text, blockError)) return error = At(heading + 1) + blockError, false;
    if (!inputDone) {
      example.Input = std::move(text);
      inputDone = true;
    } else {
      example.Cases.back().Expected = std::move(text);
    }
    const std::string_view l = lines[i];
    if (l == "== end") {
      if (i + 1 != lines.size()) return error = At(i + 1) + "lines after '== end'", false;
      ended = true;
      break;
    }
    if (!StartsWith(l, "== ")) return error = At(i + 1) + "a heading is '== ARGUMENTS' or '== end'", false;
    TExampleCase c;
    c.Heading = std::string(l);
    c.Line = i + 1;
    std::string wordError;
    if (!SplitWords(l.substr(3), c.Arguments, wordError)) return error = At(i + 1) + wordError, false;
    TEdit edit;
    if (!EditFromArguments(c.Arguments, edit, wordError)) return error = At(i + 1) + wordError, false;
    example.Cases.push_back(std::move(c));
    heading = i++;
  }
  if (example.Cases.empty()) return error = "no edit", false;
  if (!example.BreaksMatter) {
    bool loneCr = HasLoneCr(example.Input);
    for (const TExampleCase& c : example.Cases) loneCr = loneCr || HasLoneCr(c.Expected);
    // Swapping CR LF and LF would join a lone CR to the LF after it.
    if (loneCr) return error = "a lone CR needs 'breaks: fixed'", false;
  }
  return true;
}

std::string RenderExample(const TExample& example, const std::vector<std::u16string>& actual) {
  std::string out;
  for (const std::string& l : example.Preamble) out += l + "\n";
  out += "== input\n";
  out += RenderBlock(example.Input);
  for (size_t i = 0; i < example.Cases.size(); ++i) {
    out += example.Cases[i].Heading + "\n";
    out += RenderBlock(i < actual.size() ? actual[i] : example.Cases[i].Expected);
  }
  out += "== end\n";
  return out;
}

std::u16string SwapLineEnds(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      out += u'\n';
      ++i;
    } else if (text[i] == u'\n') {
      out += u"\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

bool HasLoneCr(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')) return true;
  return false;
}

bool EditFromArguments(const std::vector<std::u16string>& arguments, TEdit& edit, std::string& error) {
  // The filter's own parser, so the examples name edits exactly as users do.
  std::vector<std::string> args;
  for (const std::u16string& a : arguments) args.push_back(Utf16ToUtf8Lossy(a));
  try {
    const TFilterOptions options = ParseArguments(args);
    if (options.Verb == TVerb::Entries || options.FromSettings || options.InPlace || !options.Files.empty())
      return error = "an example's edit names its symbols and no file", false;
    std::vector<std::u16string> symbols;
    for (const std::string& s : options.Symbols) symbols.push_back(SymbolFromArgument(s));
    edit = EditOfOptions(options, std::move(symbols));
    return true;
  } catch (const TFailure& failure) {
    error = failure.Message;
    return false;
  }
}

std::vector<std::string> ExampleNames(std::vector<std::string> entries) {
  std::vector<std::string> names;
  for (std::string& e : entries) {
    if (e.size() > 8 && e.compare(e.size() - 8, 8, ".example") == 0) names.push_back(std::move(e));
  }
  std::sort(names.begin(), names.end());
  return names;
}
