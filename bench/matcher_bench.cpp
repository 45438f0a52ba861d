// The matcher as the fetch uses it: Run of the playlist pattern over a whole answer, then
// every SubmatchText of every song.
#include <benchmark/benchmark.h>

#include "match/regex_matcher.h"
#include "playlist/playlist_pattern.h"
#include "playlist_fixture.h"

namespace kavuro::bench {
namespace {

void MatcherRunAndSubmatches(benchmark::State& state) {
    const auto count = static_cast<std::int32_t>(state.range(0));
    const Text answer = FixtureAnswer(count);
    const Text pattern(kPlaylistPattern);
    RegexMatcher matcher;
    std::int32_t found = 0;
    for (auto _ : state) {
        matcher.Run(pattern, answer);
        found = matcher.MatchCount();
        for (std::int32_t song = 1; song <= found; ++song) {
            for (std::int32_t group = 1; group <= 3; ++group) {
                Text field = matcher.SubmatchText(song, group);
                benchmark::DoNotOptimize(field);
            }
        }
    }
    if (found != count) {
        state.SkipWithError("the pattern did not find every song of the fixture");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(answer.size()));
    state.counters["songs/s"] =
        benchmark::Counter(count, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes"] = static_cast<double>(answer.size());
}

// What every Run pays before the first song: compiling the pattern and its JIT code, over
// an answer without songs.
void MatcherRunWithoutSongs(benchmark::State& state) {
    const Text answer = FixtureAnswer(0);
    const Text pattern(kPlaylistPattern);
    RegexMatcher matcher;
    for (auto _ : state) {
        benchmark::DoNotOptimize(matcher.Run(pattern, answer));
    }
}

void SongCounts(benchmark::internal::Benchmark* benchmark) {
    for (const std::int32_t count : kSongCounts) {
        benchmark->Arg(count);
    }
}

BENCHMARK(MatcherRunWithoutSongs)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(MatcherRunAndSubmatches)->Apply(SongCounts)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kavuro::bench

BENCHMARK_MAIN();
