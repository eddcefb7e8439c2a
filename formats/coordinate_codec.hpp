#pragma once
#include <ctime>

#include <boost/optional.hpp>
#include <wx/string.h>

#include "formats/answer_layout.hpp"
#include "formats/position_record.hpp"

// The 64 request bytes; request_value goes in as float32.
coordinate_request build_request(double request_value);

// A fresh record, or none when the answer carries no position. Never reads past the buffer.
// The device identifier goes into the record as UTF-8.
boost::optional<position_record> decode_answer(const answer_buffer& buffer, const wxString& device,
                                               std::time_t now);

// The metres field as received (float32), for the status line; the record holds its ceiling.
float answer_metres(const answer_buffer& buffer);

// The record queued when the server has had no position for a while: speed 0, no status,
// clock fields from now.
position_record make_repeat_record(const position_record& newest, std::time_t now);
