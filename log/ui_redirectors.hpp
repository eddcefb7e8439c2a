#pragma once
#include <iostream>

#include "log/stream_redirector.hpp"

// The standard wide output stream: the log header and information rows.
class ui_redirector_cout : public stream_redirector {
public:
    explicit ui_redirector_cout(log_sink& sink) : stream_redirector(std::wcout, sink) {}
};

// The standard wide error stream: error rows.
class ui_redirector_cerr : public stream_redirector {
public:
    explicit ui_redirector_cerr(log_sink& sink) : stream_redirector(std::wcerr, sink) {}
};
