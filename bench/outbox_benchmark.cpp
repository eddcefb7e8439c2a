// Cost of the outbox per message: one append (the hand-off) and one removal of the head (the
// delivery), each a commit that reaches the disk, on a real file in the temporary folder.
// Prints the median and the worst of 1,000 messages.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

#include "delivery/outbox.hpp"
#include "formats/coordinate_codec.hpp"
#include "formats/tracking_message.hpp"
#include "tests/support/answer_bytes.hpp"

namespace fs = std::filesystem;

int main()
{
    constexpr int messages = 1000;
    const fs::path folder = fs::temp_directory_path() / ("outbox-benchmark-" + std::to_string(std::random_device()()));
    fs::create_directories(folder);
    const std::string message =
        make_tracking_message(*decode_answer(railway_answer().buffer(), "loco-7", 1614927849));
    std::vector<double> micros;
    {
        outbox box((folder / "outbox.sqlite").u8string());
        for (int i = 0; i < messages; ++i) {
            const auto start = std::chrono::steady_clock::now();
            box.append(message);
            box.remove_head();
            micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        }
    }
    fs::remove_all(folder);
    std::sort(micros.begin(), micros.end());
    std::printf("outbox append + remove, %d messages of %zu bytes, synchronous=FULL, in %s:\n", messages,
                message.size(), fs::temp_directory_path().string().c_str());
    std::printf("median %.0f us, worst %.0f us\n", micros[micros.size() / 2], micros.back());
}
