#pragma once
// Wide characters to UTF-8, written piecewise: a UTF-16 surrogate pair may arrive split over
// two calls (wchar_t is 16 bits wide on Windows). Code units that form no character become
// U+FFFD, so every input yields output and nothing later is lost.
#include <cstddef>
#include <string>

class utf8_encoder {
public:
    // Appends the encoding of text to out.
    void encode(const wchar_t* text, std::size_t length, std::string& out);

private:
    char32_t pending_high_ = 0;  // a high surrogate waiting for its low half
};
