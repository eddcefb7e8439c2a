#include "formats/delivery_outcome.hpp"

#include <exception>

#include <wx/intl.h>
#include <wx/string.h>

#include "formats/service_answer.hpp"

namespace {
std::string over_limit(const wxString& format, std::size_t limit)
{
    return wxString::Format(format, std::to_string(limit)).utf8_string();
}
}

delivery_outcome classify_delivery(long http_status, const char* transfer_error, const std::string& body)
{
    if (http_status >= 300)
        return {delivery_result::http_failure,
                "HTTP error code: " + std::to_string(http_status) + "."};
    // Reading stops, and the transfer fails, one byte past the cap: the cap explains that failure.
    if (body.size() > max_answer_bytes)
        return {delivery_result::undecodable,
                over_limit(_("Service answer larger than %s bytes"), max_answer_bytes)};
    if (transfer_error)
        return {delivery_result::transfer_failure, transfer_error};
    service_answer answer;
    try {
        answer = parse_service_answer(body);
    } catch (const answer_too_deep&) {
        return {delivery_result::undecodable,
                over_limit(_("Service answer nested deeper than %s levels"), max_answer_depth)};
    } catch (const std::exception& error) {
        return {delivery_result::undecodable, error.what()};
    }
    if (answer.code)
        return {delivery_result::rejected, answer.reason ? " " + *answer.reason : "--"};
    return {delivery_result::delivered, {}};
}
