// Arbitrary coordinate server answers through the decoder and on into the tracking message.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "formats/coordinate_codec.hpp"
#include "formats/tracking_message.hpp"
#include "windows_stack.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    run_on_windows_stack([data, size] {
        answer_buffer buffer{};
        std::copy_n(data, std::min(size, buffer.size()), buffer.begin());
        const auto record = decode_answer(buffer, "fuzz", 1614927849);
        if (record) {
            const std::string message = make_tracking_message(*record);
            if (message.size() < 2 || message.compare(message.size() - 2, 2, "}\n") != 0)
                __builtin_trap();
        }
    });
    return 0;
}
