#include "delivery/delivery_outcome.hpp"

#include <exception>

#include "delivery/service_answer.hpp"

delivery_outcome classify_delivery(long http_status, CURLcode transfer, const std::string& body)
{
    if (http_status >= 300)
        return {delivery_result::http_failure,
                "HTTP error code: " + std::to_string(http_status) + "."};
    if (transfer != CURLE_OK)
        return {delivery_result::transfer_failure, curl_easy_strerror(transfer)};
    service_answer answer;
    try {
        answer = parse_service_answer(body);
    } catch (const std::exception& error) {
        return {delivery_result::undecodable, error.what()};
    }
    if (answer.code)
        return {delivery_result::rejected, answer.reason ? " " + *answer.reason : "--"};
    return {delivery_result::delivered, {}};
}
