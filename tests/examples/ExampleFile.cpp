// Golden example files: parsing, rendering and the arguments-to-edit mapping.
#include "ExampleFile.h"

#include <algorithm>

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

// As the filter reads them: -x and --word are options; "-", "->" and the
// like are symbols.
bool LooksLikeOption(std::u16string_view a) {
  auto letter = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
  if (a.size() >= 2 && a[0] == u'-' && letter(a[1])) return true;
  return a.size() >= 3 && a[0] == u'-' && a[1] == u'-' && letter(a[2]);
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
    else if (l == "paths: engine filter") example.ForDll = false;
    else if (l == "paths: engine filter dll") example.ForDll = true;
    else return error = At(i + 1) + "unknown option '" + std::string(l) + "'", false;
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
  edit = TEdit{};
  if (arguments.empty()) return error = "no command", false;
  const std::u16string& command = arguments[0];
  std::vector<std::u16string> symbols;
  bool optionsEnded = false;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::u16string& a = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (!optionsEnded && a == u"--") {
      optionsEnded = true;
    } else if (!optionsEnded && command == u"insert" && a == u"--at" && hasValue) {
      const std::u16string& v = arguments[++i];
      if (v == u"head") edit.Position = ipLineHead;
      else if (v == u"char") edit.Position = ipFirstChar;
      else return error = "--at takes head or char", false;
    } else if (!optionsEnded && command == u"insert" && a == u"--lines" && hasValue) {
      const std::u16string& v = arguments[++i];
      if (v == u"all") edit.Target = tlAll;
      else if (v == u"nonblank") edit.Target = tlNonBlank;
      else if (v == u"least") edit.Target = tlLeastIndent;
      else if (v == u"after-blank") edit.Target = tlAfterBlank;
      else return error = "--lines takes all, nonblank, least or after-blank", false;
    } else if (!optionsEnded && (command == u"delete-once" || command == u"delete-all") && a == u"-e" && hasValue) {
      edit.Symbols.push_back(arguments[++i]);
    } else if (!optionsEnded && LooksLikeOption(a)) {
      return error = "unknown option " + Utf16ToUtf8Lossy(a), false;
    } else {
      symbols.push_back(a);
    }
  }
  if (command == u"insert" || command == u"delete") {
    if (symbols.size() != 1) return error = "one SYMBOL expected", false;
    edit.Kind = command == u"insert" ? ekInsert : ekDeleteGiven;
    edit.Symbol = symbols[0];
  } else if (command == u"delete-once" || command == u"delete-all") {
    if (!symbols.empty() || edit.Symbols.empty()) return error = "symbols are given as -e SYMBOL", false;
    edit.Kind = command == u"delete-once" ? ekDeleteOnce : ekDeleteAll;
  } else {
    return error = "unknown command " + Utf16ToUtf8Lossy(command), false;
  }
  std::vector<std::u16string> all = edit.Symbols;
  if (edit.Kind == ekInsert || edit.Kind == ekDeleteGiven) all.push_back(edit.Symbol);
  for (const std::u16string& s : all)
    if (s.empty() || s.find_first_of(u"\t\r\n") != std::u16string::npos)
      return error = "a SYMBOL is not empty and holds no tab or line break", false;
  return true;
}

std::vector<std::string> ExampleNames(std::vector<std::string> entries) {
  std::vector<std::string> names;
  for (std::string& e : entries) {
    if (e.size() > 8 && e.compare(e.size() - 8, 8, ".example") == 0) names.push_back(std::move(e));
  }
  std::sort(names.begin(), names.end());
  return names;
}
