// Throughput of the glyph transforms on a buffer that stays in cache.
#include "glyph_cell.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

void transformBuffer(benchmark::State& state, bool rotate, bool mirror)
{
    std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)));
    std::mt19937 random(1);
    for (std::uint8_t& byte : data)
        byte = static_cast<std::uint8_t>(random());
    for (auto _ : state) {
        transformGlyphs(data.data(), data.data(), data.size(), rotate, mirror);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void rotate(benchmark::State& state)
{
    transformBuffer(state, true, false);
}

void mirror(benchmark::State& state)
{
    transformBuffer(state, false, true);
}

void rotateAndMirror(benchmark::State& state)
{
    transformBuffer(state, true, true);
}

BENCHMARK(rotate)->Arg(256 << 10);
BENCHMARK(mirror)->Arg(256 << 10);
BENCHMARK(rotateAndMirror)->Arg(256 << 10)->Arg(64 << 20);

}  // namespace

BENCHMARK_MAIN();
