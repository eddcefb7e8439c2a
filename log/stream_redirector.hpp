#pragma once
// A wide stream buffer without a buffer of its own that hands every character written to
// the stream on to a sink at once. It takes the stream's place while it lives and gives the
// stream its earlier buffer back when destroyed.
#include <ostream>
#include <streambuf>

#include "log/log_sink.hpp"

class stream_redirector : public std::wstreambuf {
public:
    stream_redirector(std::wostream& stream, log_sink& sink);
    ~stream_redirector() override;

    stream_redirector(const stream_redirector&) = delete;
    stream_redirector& operator=(const stream_redirector&) = delete;

protected:
    int_type overflow(int_type c) override;
    // A whole insertion in one piece rather than a character at a time.
    std::streamsize xsputn(const char_type* text, std::streamsize length) override;

private:
    std::wostream& stream_;
    std::wstreambuf* previous_buffer_ = nullptr;
    log_sink& sink_;
};
