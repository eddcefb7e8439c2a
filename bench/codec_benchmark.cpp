// Cost of the two wire formats on the polling path: decoding one answer, writing one message.
#include <benchmark/benchmark.h>

#include "formats/coordinate_codec.hpp"
#include "formats/tracking_message.hpp"
#include "tests/support/answer_bytes.hpp"

namespace {
void decode_one_answer(benchmark::State& state)
{
    const answer_buffer answer = railway_answer().buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(decode_answer(answer, "loco-7", 1614927849));
}
BENCHMARK(decode_one_answer);

void write_one_message(benchmark::State& state)
{
    const position_record record = *decode_answer(railway_answer().buffer(), "loco-7", 1614927849);
    for (auto _ : state)
        benchmark::DoNotOptimize(make_tracking_message(record));
}
BENCHMARK(write_one_message);
}

BENCHMARK_MAIN();
