#include "log/stream_redirector.hpp"

stream_redirector::stream_redirector(std::wostream& stream, log_sink& sink) : stream_(stream), sink_(sink)
{
    previous_buffer_ = stream_.rdbuf(this);
}

stream_redirector::~stream_redirector()
{
    stream_.rdbuf(previous_buffer_);
}

stream_redirector::int_type stream_redirector::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const char_type character = traits_type::to_char_type(c);
    sink_.append(&character, 1);
    return c;
}

std::streamsize stream_redirector::xsputn(const char_type* text, std::streamsize length)
{
    if (length > 0)
        sink_.append(text, static_cast<std::size_t>(length));
    return length;
}
