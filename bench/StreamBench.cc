// The list codec through the std::istream / std::ostream interface against
// the formatted operators on the same text, and splitting at a delimiter
// against the rescanning algorithm. Row pairs "<path>/ours" and
// "<path>/ref"; the stream rows count tokens, so the ratio is per token:
//   decodeProps    extractPropList of 1000 entries    vs in >> token
//   decodeContent  extractContentList of 1000 paths   vs in >> token
// and for the decoders, two more rows per list:
//   <path>_plain   the same lists built by a plain decoder (in >> field,
//                  unescaped, a heap record per entry), against _ours
//   <path>_view    the in-place decoder of the update handlers, entries
//                  as views to a callback, against _ref
//   encodeProps    encodePropList of 1000 records     vs out << token << " "
//   encodeContent  encodeContentList of 1000 records  vs out << token << " "
//   getComponents  getComponents on 1 MB with 10 000 delimiters vs a search
//                  for the i-th delimiter from the start for each component
#include <algorithm>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "AppMgr/Streamer.h"
#include "AppMgr/StringParser.h"
#include "AppMgr/TokenEscape.h"
#include "platform/PropertyBuilder.h"

#include "stream/ListDecoder.h"
#include "stream/PropListSupport.h"

namespace {

constexpr int kEntries = 1000;

std::string escaped(std::string text) {
  return transform_string_encode(text, TransformStringFromSymbol, TransformStringToSymbol);
}

// Outgoing records and the tokens that encode them.
struct Lists {
  AppMgrPropsList props;
  AppMgrContentList contents;
  std::vector<std::string> propTokens;
  std::vector<std::string> contentTokens;
  std::string incomingProps;  // the incoming form: one more field per entry
  std::string incomingContent;

  Lists() {
    propTokens.push_back(std::to_string(kEntries));
    contentTokens.push_back(std::to_string(kEntries));
    incomingProps = std::to_string(kEntries) + " ";
    for (int i = 0; i < kEntries; ++i) {
      const std::string name = "Property Name " + std::to_string(i);
      const std::string value = i % 3 == 0 ? "" : "value+" + std::to_string(i * 7919) + " of the property";
      const std::string path = "/data/project " + std::to_string(i) + "/files+" + std::to_string(i) + ".txt";
      appendProperty(props, name, static_cast<unsigned long>(i % 40), value);
      appendContent(contents, 1, path);
      for (const std::string& t : {std::string("0"), escaped(name), std::to_string(i % 40), escaped(value)}) {
        propTokens.push_back(t);
        incomingProps += t + " ";
      }
      incomingProps += "0 ";
      contentTokens.push_back(escaped(path));
    }
    for (const std::string& t : contentTokens) incomingContent += t + " ";
  }
  ~Lists() {
    clearPropList(props);
    clearContentList(contents);
  }
};

const Lists& lists() {
  static const Lists l;
  return l;
}

void tokensPerIteration(benchmark::State& state, size_t tokens) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(tokens));
}

void formattedExtraction(benchmark::State& state, const std::string& text) {
  size_t tokens = 0;
  for (auto _ : state) {
    std::istringstream in(text);
    std::string token;
    tokens = 0;
    while (in >> token) ++tokens;
    benchmark::DoNotOptimize(token.data());
  }
  tokensPerIteration(state, tokens);
}

void BM_decodeProps_ours(benchmark::State& state) {
  Streamer streamer;
  std::string error;
  for (auto _ : state) {
    std::istringstream in(lists().incomingProps);
    Streamer::PropertyList out;
    if (streamer.extractPropList(out, in, error) != 0) state.SkipWithError("decode failed");
    state.PauseTiming();
    for (const ApplProperty* p : out) delete p;
    state.ResumeTiming();
  }
  tokensPerIteration(state, 1 + 5 * kEntries);
}
void BM_decodeProps_ref(benchmark::State& state) { formattedExtraction(state, lists().incomingProps); }

void BM_decodeProps_plain(benchmark::State& state) {
  PropertyBuilder builder;
  for (auto _ : state) {
    std::istringstream in(lists().incomingProps);
    Streamer::PropertyList out;
    unsigned long count = 0;
    in >> count;
    unsigned long leading = 0;
    int type = 0;
    int trailing = 0;
    std::string name;
    std::string value;
    for (unsigned long i = 0; i < count && in >> leading >> name >> type >> value >> trailing; ++i) {
      transform_string_decode(name, TransformStringFromSymbol, TransformStringToSymbol);
      transform_string_decode(value, TransformStringFromSymbol, TransformStringToSymbol);
      out.push_back(builder.build(name, type, value, trailing));
    }
    state.PauseTiming();
    for (const ApplProperty* p : out) delete p;
    state.ResumeTiming();
  }
  tokensPerIteration(state, 1 + 5 * kEntries);
}

void BM_decodeProps_view(benchmark::State& state) {
  std::string error;
  for (auto _ : state) {
    ListDecoder decoder(lists().incomingProps);
    size_t bytes = 0;
    decoder.properties(
        [&](std::string_view name, int type, std::string_view value, int trailing) {
          bytes += name.size() + value.size() + static_cast<size_t>(type + trailing);
        },
        error);
    benchmark::DoNotOptimize(bytes);
  }
  tokensPerIteration(state, 1 + 5 * kEntries);
}

void BM_decodeContent_ours(benchmark::State& state) {
  Streamer streamer;
  std::string error;
  for (auto _ : state) {
    std::istringstream in(lists().incomingContent);
    Streamer::EntryList out;
    if (streamer.extractContentList(out, in, error) != 0) state.SkipWithError("decode failed");
    state.PauseTiming();
    for (std::string* s : out) delete s;
    state.ResumeTiming();
  }
  tokensPerIteration(state, 1 + kEntries);
}
void BM_decodeContent_ref(benchmark::State& state) { formattedExtraction(state, lists().incomingContent); }

void BM_decodeContent_plain(benchmark::State& state) {
  for (auto _ : state) {
    std::istringstream in(lists().incomingContent);
    Streamer::EntryList out;
    unsigned long count = 0;
    in >> count;
    std::string path;
    for (unsigned long i = 0; i < count && in >> path; ++i) {
      out.push_back(
          new std::string(transform_string_decode(path, TransformStringFromSymbol, TransformStringToSymbol)));
    }
    state.PauseTiming();
    for (std::string* p : out) delete p;
    state.ResumeTiming();
  }
  tokensPerIteration(state, 1 + kEntries);
}

void BM_decodeContent_view(benchmark::State& state) {
  std::string error;
  for (auto _ : state) {
    ListDecoder decoder(lists().incomingContent);
    size_t bytes = 0;
    decoder.contents([&](std::string_view path) { bytes += path.size(); }, error);
    benchmark::DoNotOptimize(bytes);
  }
  tokensPerIteration(state, 1 + kEntries);
}

void formattedInsertion(benchmark::State& state, const std::vector<std::string>& tokens) {
  for (auto _ : state) {
    std::ostringstream out;
    for (const std::string& token : tokens) out << token << stream_ws;
    benchmark::DoNotOptimize(out.tellp());
  }
  tokensPerIteration(state, tokens.size());
}

void BM_encodeProps_ours(benchmark::State& state) {
  Streamer streamer;
  std::string error;
  AppMgrPropsList& props = const_cast<Lists&>(lists()).props;
  for (auto _ : state) {
    std::ostringstream out;
    streamer.encodePropList(props, out, error);
    benchmark::DoNotOptimize(out.tellp());
  }
  tokensPerIteration(state, lists().propTokens.size());
}
void BM_encodeProps_ref(benchmark::State& state) { formattedInsertion(state, lists().propTokens); }

void BM_encodeContent_ours(benchmark::State& state) {
  Streamer streamer;
  std::string error;
  AppMgrContentList& contents = const_cast<Lists&>(lists()).contents;
  for (auto _ : state) {
    std::ostringstream out;
    streamer.encodeContentList(contents, out, error);
    benchmark::DoNotOptimize(out.tellp());
  }
  tokensPerIteration(state, lists().contentTokens.size());
}
void BM_encodeContent_ref(benchmark::State& state) { formattedInsertion(state, lists().contentTokens); }

// 1 MB with 10 000 delimiters, evenly spaced.
const std::string& splitText() {
  static const std::string text = [] {
    std::string t(1 << 20, 'x');
    for (size_t i = 1; i <= 10000; ++i) t[i * (t.size() / 10001)] = ',';
    return t;
  }();
  return text;
}

void BM_getComponents_ours(benchmark::State& state) {
  for (auto _ : state) {
    StringParser parser(splitText(), ',');
    benchmark::DoNotOptimize(parser.getComponents(0).size());
  }
}

// The rescanning algorithm: the i-th delimiter searched from the start of
// the text for each component i.
void BM_getComponents_ref(benchmark::State& state) {
  const std::string& text = splitText();
  for (auto _ : state) {
    std::vector<std::string> components;
    auto previous = text.begin();
    for (int i = 1; previous != text.end(); ++i) {
      auto current = std::find_if(text.begin(), text.end(), NthDelimiter(i, ','));
      components.emplace_back(i == 1 ? previous : previous + 1, current);
      previous = current;
    }
    benchmark::DoNotOptimize(components.size());
  }
}

}  // namespace

BENCHMARK(BM_decodeProps_ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_decodeProps_ref)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_decodeContent_ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_decodeContent_ref)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_decodeProps_plain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_decodeProps_view)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_decodeContent_plain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_decodeContent_view)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_encodeProps_ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_encodeProps_ref)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_encodeContent_ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_encodeContent_ref)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_getComponents_ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_getComponents_ref)->Unit(benchmark::kMillisecond)->Iterations(1);
