// Cost of the two wire formats on the polling path: decoding one answer, writing one message.
#include <benchmark/benchmark.h>

#include "coordinates/coordinate_codec.hpp"
#include "delivery/tracking_message.hpp"
#include "tests/support/answer_bytes.hpp"

namespace {
namespace layout = answer_layout;

answer_buffer typical_answer()
{
    return answer_bytes()
        .byte(layout::data_flag, 1)
        .int32(layout::km, 1234)
        .float32(layout::metres, 12.2f)
        .text(layout::direction_text, "Moscow - Tver")
        .text(layout::railway_text, "Main line")
        .float32(layout::speed, -42.5f)
        .float64(layout::latitude_rad, 0.973)
        .float64(layout::longitude_rad, 0.6566)
        .text(layout::road_text, "Road/1")
        .text(layout::place_text, "Signal 4")
        .int32(layout::pk, 5)
        .buffer();
}

void decode_one_answer(benchmark::State& state)
{
    const answer_buffer answer = typical_answer();
    for (auto _ : state)
        benchmark::DoNotOptimize(decode_answer(answer, "loco-7", 1614927849));
}
BENCHMARK(decode_one_answer);

void write_one_message(benchmark::State& state)
{
    const position_record record = *decode_answer(typical_answer(), "loco-7", 1614927849);
    for (auto _ : state)
        benchmark::DoNotOptimize(make_tracking_message(record));
}
BENCHMARK(write_one_message);
}

BENCHMARK_MAIN();
