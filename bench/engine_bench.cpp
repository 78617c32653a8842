// Throughput of the line-head engine on a large generated text: the eight
// insertion modes, the two list deletions, and cutting a text into lines and
// joining them again.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "HeadSymbolDeletion.h"
#include "StrRecListUnit.h"
#include "StringRecordList.h"

namespace {

// About 64 MB of UTF-16: lines indented with spaces, tabs and ideographic
// spaces, Japanese and ASCII words, some blank lines, CR LF breaks.
const std::u16string& SampleText() {
  static const std::u16string text = [] {
    const size_t target = size_t{32} << 20;  // code units
    std::u16string t;
    t.reserve(target + 256);
    uint32_t seed = 12345;
    auto next = [&](uint32_t n) {
      seed = seed * 1664525u + 1013904223u;
      return (seed >> 8) % n;
    };
    static const char16_t* const words[] = {u"the", u"quick", u"mail", u"reply", u"日本語", u"引用", u"テキスト",
                                            u"です。", u"symbol", u"行頭", u"インデント", u"code", u"x = 1;"};
    while (t.size() < target) {
      if (next(10) == 0) {  // a blank line, sometimes with stray blanks
        if (next(2)) t += u"  ";
        t += u"\r\n";
        continue;
      }
      for (uint32_t i = next(4); i > 0; --i) t += u" \t\u3000"[next(3)];
      for (uint32_t i = 2 + next(10); i > 0; --i) {
        t += words[next(sizeof words / sizeof *words)];
        t += u' ';
      }
      t += u"\r\n";
    }
    return t;
  }();
  return text;
}

void Insert(benchmark::State& state) {
  const std::u16string& text = SampleText();
  const auto position = static_cast<TInsertPosition>(state.range(0));
  const auto target = static_cast<TTargetLines>(state.range(1));
  for (auto _ : state) {
    std::u16string out = InsertHeadSymbol(text, u"> ", position, target);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size() * 2));
}
BENCHMARK(Insert)
    ->ArgNames({"position", "target"})
    ->ArgsProduct({{ipLineHead, ipFirstChar}, {tlAll, tlNonBlank, tlLeastIndent, tlAfterBlank}})
    ->Unit(benchmark::kMillisecond);

// The sample with "// " at the least indentation and "> " before every line.
const std::u16string& QuotedText() {
  static const std::u16string text =
      InsertHeadSymbol(InsertHeadSymbol(SampleText(), u"// ", ipFirstChar, tlNonBlank), u"> ", ipLineHead, tlAll);
  return text;
}

template <bool All>
void Delete(benchmark::State& state) {
  const std::u16string& text = QuotedText();
  TCommonStringRecordList entries;
  entries.Add(u"> \t引用\r\n");
  entries.Add(u"# \tコメント\r\n");
  entries.Add(u"// \tC++\r\n");
  for (auto _ : state) {
    std::u16string out = All ? DeleteHeadSymbolsAll(text, entries) : DeleteHeadSymbolsOnce(text, entries);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size() * 2));
}
BENCHMARK(Delete<false>)->Name("DeleteOnce")->Unit(benchmark::kMillisecond);
BENCHMARK(Delete<true>)->Name("DeleteAll")->Unit(benchmark::kMillisecond);

void SplitText(benchmark::State& state) {
  const std::u16string& text = SampleText();
  for (auto _ : state) {
    TCommonStringRecordList list;
    list.SetText(text);
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size() * 2));
}
BENCHMARK(SplitText)->Name("SetText")->Unit(benchmark::kMillisecond);

void JoinText(benchmark::State& state) {
  const std::u16string& text = SampleText();
  TCommonStringRecordList list;
  list.SetText(text);
  for (auto _ : state) {
    std::u16string joined = list.Text();
    benchmark::DoNotOptimize(joined.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size() * 2));
}
BENCHMARK(JoinText)->Name("Text")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
