// Throughput of the glyph transforms on a buffer that stays in cache and on
// one that does not, with each code this processor runs.
#include "glyph_cell.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

const char* nameOf(TransformCode code)
{
    switch (code) {
    case TransformCode::FourCellsGfni:
        return "four cells GFNI";
    case TransformCode::TwoCellsGfni:
        return "two cells GFNI";
    case TransformCode::ShiftsAndMasks:
        break;
    }
    return "shifts and masks";
}

void transformBuffer(benchmark::State& state, TransformCode code, bool rotate, bool mirror)
{
    std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)));
    std::mt19937 random(1);
    for (std::uint8_t& byte : data)
        byte = static_cast<std::uint8_t>(random());
    for (auto _ : state) {
        transformGlyphsWith(code, data.data(), data.data(), data.size(), rotate, mirror);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

int main(int argc, char** argv)
{
    const struct {
        const char* name;
        bool rotate, mirror;
    } transforms[] = {{"rotate", true, false}, {"mirror", false, true}, {"rotate and mirror", true, true}};
    for (const TransformCode code : transformCodesHere()) {
        for (const auto& t : transforms) {
            const std::string name = std::string(t.name) + ", " + nameOf(code);
            benchmark::RegisterBenchmark(name.c_str(), transformBuffer, code, t.rotate, t.mirror)
                ->Arg(256 << 10)
                ->Arg(64 << 20);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
