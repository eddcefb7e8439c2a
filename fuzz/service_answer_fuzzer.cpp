// Arbitrary answer bodies through the reader and the outcome classification.
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/delivery_outcome.hpp"
#include "windows_stack.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string body(reinterpret_cast<const char*>(data), size);
    run_on_windows_stack([&body] {
        const auto outcome = classify_delivery(200, nullptr, body);
        // Every failure carries a text for the error row; a delivery none.
        if ((outcome.result == delivery_result::delivered) != outcome.text.empty())
            __builtin_trap();
    });
    return 0;
}
