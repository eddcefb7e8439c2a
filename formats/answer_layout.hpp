#pragma once
// Byte layout of the coordinate server's request and answer. Shared by the decoder, the
// simulator and the tests, so that all three agree on every offset.
#include <array>
#include <cstddef>

namespace answer_layout {
constexpr std::size_t request_size = 64;
constexpr std::size_t buffer_size = 1024;

// The request's fields.
constexpr char request_mark[] = "CXQUEST2"; // at 0, without its terminator
constexpr std::size_t request_zero = 8;     // uint32, 0
constexpr std::size_t request_value = 12;   // float32 bits
constexpr std::size_t request_one = 16;     // uint32, 1

constexpr std::size_t data_flag = 12;
constexpr std::size_t km = 21;             // int32
constexpr std::size_t metres = 25;         // float32
constexpr std::size_t direction_text = 29; // text, room 96
constexpr std::size_t railway_text = 125;  // text, room 164
constexpr std::size_t speed = 289;         // float32
constexpr std::size_t latitude_rad = 305;  // float64
constexpr std::size_t longitude_rad = 313; // float64
constexpr std::size_t road_text = 337;     // text, room 172
constexpr std::size_t place_text = 509;    // text, room 64
constexpr std::size_t pk = 573;            // int32
constexpr std::size_t place_kind = 577;    // int32
constexpr std::size_t end_of_fields = 581;
}

using coordinate_request = std::array<unsigned char, answer_layout::request_size>;
using answer_buffer = std::array<unsigned char, answer_layout::buffer_size>;
