#pragma once
// Builds coordinate server answers byte by byte, little-endian, the way a server would send them.
#include <cstdint>
#include <cstring>
#include <string>

#include "formats/answer_layout.hpp"

class answer_bytes {
public:
    answer_bytes() { buffer_.fill(0); }

    answer_bytes& byte(std::size_t offset, unsigned char value)
    {
        buffer_.at(offset) = value;
        return *this;
    }
    answer_bytes& int32(std::size_t offset, std::int32_t value)
    {
        return little_endian(offset, static_cast<std::uint32_t>(value));
    }
    answer_bytes& float32(std::size_t offset, float value)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return little_endian(offset, bits);
    }
    answer_bytes& float64(std::size_t offset, double value)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return little_endian(offset, bits);
    }
    // The text's bytes; a NUL follows only when it is part of the text.
    answer_bytes& text(std::size_t offset, const std::string& value)
    {
        for (std::size_t i = 0; i < value.size(); ++i)
            byte(offset + i, static_cast<unsigned char>(value[i]));
        return *this;
    }
    // What a receive of only the first `size` bytes leaves in the zero-filled buffer.
    answer_bytes& cut_after(std::size_t size)
    {
        for (std::size_t i = size; i < buffer_.size(); ++i)
            buffer_[i] = 0;
        return *this;
    }

    const answer_buffer& buffer() const { return buffer_; }

private:
    template <typename Unsigned>
    answer_bytes& little_endian(std::size_t offset, Unsigned value)
    {
        for (std::size_t i = 0; i < sizeof value; ++i)
            byte(offset + i, static_cast<unsigned char>(value >> (8 * i)));
        return *this;
    }

    answer_buffer buffer_;
};

// A position on a main line (place_kind 0), as a server typically sends it.
inline answer_bytes railway_answer()
{
    namespace layout = answer_layout;
    answer_bytes answer;
    answer.byte(layout::data_flag, 1)
        .int32(layout::km, 1234)
        .float32(layout::metres, 12.2f)
        .text(layout::direction_text, "Moscow - Tver")
        .text(layout::railway_text, "Main line")
        .float32(layout::speed, -42.5f)
        .float64(layout::latitude_rad, 0.973)
        .float64(layout::longitude_rad, 0.6566)
        .text(layout::road_text, "Road/1")
        .text(layout::place_text, "Signal \"4\"")
        .int32(layout::pk, 5)
        .int32(layout::place_kind, 0);
    return answer;
}
