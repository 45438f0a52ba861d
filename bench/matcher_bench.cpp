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
    // The program's one matcher lives from start to end: the runs of later fetches find
    // its storage ready, as the timed runs here do.
    RegexMatcher matcher;
    matcher.Run(pattern, answer);
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

// What every Run pays before the first song, over an answer without songs. The pattern
// is compiled once, by the first run, and used again by the next ones.
void MatcherRunWithoutSongs(benchmark::State& state) {
    const Text answer = FixtureAnswer(0);
    const Text pattern(kPlaylistPattern);
    RegexMatcher matcher;
    for (auto _ : state) {
        benchmark::DoNotOptimize(matcher.Run(pattern, answer));
    }
}

// The same without the JIT, as on a host that forbids executable memory: the largest
// fixture and about 32 MiB, the most an answer can hold. Its time must stay well inside
// the matcher's time limit.
void MatcherRunWithoutJit(benchmark::State& state) {
    const Text answer = FixtureAnswer(static_cast<std::int32_t>(state.range(0)));
    const Text pattern(kPlaylistPattern);
    RegexMatcher matcher;
    matcher.SetJit(false);
    for (auto _ : state) {
        matcher.Run(pattern, answer);
    }
    if (matcher.MatchCount() != state.range(0) || !matcher.Complete()) {
        state.SkipWithError("the interpreter did not find every song in time");
    }
    state.counters["bytes"] = static_cast<double>(answer.size());
}

// A hostile 32 MiB answer: songs around lines that make a backtracking engine walk each
// line again from every "[CDATA[" (hours of work), with the JIT (range 1) or without.
// The time limit ends the run; "complete" says whether it got to the end.
void MatcherHostileAnswer(benchmark::State& state) {
    Text answer = FixtureAnswer(100);
    Text line;
    while (line.size() < 20'000) {
        line += "[CDATA[ ]]";
    }
    line += "</xsong_\n";
    while (answer.size() < (32u << 20)) {
        answer += line;
    }
    answer += FixtureAnswer(100);
    const Text pattern(kPlaylistPattern);
    RegexMatcher matcher;
    matcher.SetJit(state.range(0) != 0);
    for (auto _ : state) {
        matcher.Run(pattern, answer);
    }
    state.counters["complete"] = matcher.Complete() ? 1 : 0;
    state.counters["songs"] = matcher.MatchCount();
}

void SongCounts(benchmark::internal::Benchmark* benchmark) {
    for (const std::int32_t count : kSongCounts) {
        benchmark->Arg(count);
    }
}

BENCHMARK(MatcherRunWithoutSongs)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(MatcherRunAndSubmatches)->Apply(SongCounts)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(MatcherRunWithoutJit)
    ->Arg(100'000)
    ->Arg(140'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(MatcherHostileAnswer)
    ->ArgName("jit")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
}  // namespace kavuro::bench

BENCHMARK_MAIN();
