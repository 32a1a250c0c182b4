#include <benchmark/benchmark.h>

#include <string>

#include "util/url_codec.h"

namespace {

// About 4 KB of a typical programme listing: Chinese titles mixed with ASCII episode marks.
std::string mixed_text() {
  const std::string piece = "火影忍者 第12集 [HD] episode-12.rmvb|海贼王 One Piece 720p; ";
  std::string text;
  while (text.size() + piece.size() <= 4096) text += piece;
  return text;
}

void BM_EscapeThenUnescape(benchmark::State& state) {
  const std::string text = mixed_text();
  for (auto _ : state) {
    std::string escaped = pelmora::text::url_escape(text);
    benchmark::DoNotOptimize(escaped);
    std::string plain = pelmora::text::url_unescape(escaped);
    benchmark::DoNotOptimize(plain);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_EscapeThenUnescape)->Unit(benchmark::kMicrosecond);

}  // namespace
