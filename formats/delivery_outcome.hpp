#pragma once
#include <string>

enum class delivery_result { delivered, http_failure, transfer_failure, undecodable, rejected };

struct delivery_outcome {
    delivery_result result;
    std::string text; // the error row's text (UTF-8); empty when delivered
};

// Classifies one finished request: HTTP status (0 when no answer came), the transfer's failure
// text (null when it succeeded) and the (already decompressed) body; a body longer than
// max_answer_bytes is undecodable whatever the transfer's result, since its reading was cut off.
delivery_outcome classify_delivery(long http_status, const char* transfer_error, const std::string& body);
