#include <stdexcept>

#include <boost/optional/optional_io.hpp>
#include <gtest/gtest.h>

#include "delivery/delivery_outcome.hpp"
#include "delivery/service_answer.hpp"

namespace {
std::string parse_error(const std::string& body)
{
    try {
        parse_service_answer(body);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no error";
}

void expect_outcome(long status, CURLcode transfer, const std::string& body,
                    delivery_result result, const std::string& text)
{
    const auto outcome = classify_delivery(status, transfer, body);
    EXPECT_EQ(outcome.result, result) << status << " " << body;
    EXPECT_EQ(outcome.text, text) << status << " " << body;
}
}

TEST(service_answer, members_at_the_top_level_only)
{
    const auto answer = parse_service_answer(
        R"({"id": 17, "name": "L\u00e9on\/7", "entityType": "mob_device_service", "guid": null,
            "status": true, "code": {"nested": 1}, "reason": [1, 2], "extra": "x",
            "id": "second", "inner": {"code": "hidden"}})");
    EXPECT_EQ(answer.id, std::string("17"));
    EXPECT_EQ(answer.name, std::string("L\xC3\xA9on/7"));
    EXPECT_EQ(answer.entityType, std::string("mob_device_service"));
    EXPECT_EQ(answer.guid, std::string("null"));
    EXPECT_EQ(answer.status, std::string("true"));
    EXPECT_EQ(answer.code, std::string(""));
    EXPECT_EQ(answer.reason, std::string(""));

    const auto nested_only = parse_service_answer(R"({"inner": {"code": "hidden"}})");
    EXPECT_FALSE(nested_only.code);
    for (const char* not_object : {"[{\"code\": 1}]", "\"code\"", "42", "null"}) {
        const auto answer = parse_service_answer(not_object);
        EXPECT_FALSE(answer.code || answer.reason || answer.id) << not_object;
    }
}

TEST(service_answer, syntax_errors_carry_the_readers_text)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "<unspecified file>(1): expected value"},
        {"   \n", "<unspecified file>(2): expected value"},
        {"{} {}", "<unspecified file>(1): garbage after data"},
        {"{1: 2}", "<unspecified file>(1): expected key string"},
        {"{\"a\" 1}", "<unspecified file>(1): expected ':'"},
        {"{\"a\": 1\n\n \"b\": 2}", "<unspecified file>(3): expected '}' or ','"},
        {"[1 2]", "<unspecified file>(1): expected ']' or ','"},
        {"{\"a\": \"open", "<unspecified file>(1): unterminated string"},
        {"\"\xFF\"", "<unspecified file>(1): invalid code sequence"},
        {"\"a\x01\"", "<unspecified file>(1): invalid code sequence"},
        {"\"\\q\"", "<unspecified file>(1): invalid escape sequence"},
    };
    for (const auto& [body, text] : cases)
        EXPECT_EQ(parse_error(body), text) << body;
}

TEST(delivery_outcome, decided_in_order)
{
    using r = delivery_result;
    // The status wins over everything, the transfer error over the body.
    expect_outcome(302, CURLE_OK, "{}", r::http_failure, "HTTP error code: 302.");
    expect_outcome(300, CURLE_OK, "", r::http_failure, "HTTP error code: 300.");
    expect_outcome(500, CURLE_OPERATION_TIMEDOUT, "", r::http_failure, "HTTP error code: 500.");
    expect_outcome(0, CURLE_COULDNT_CONNECT, "", r::transfer_failure, "Couldn't connect to server");
    expect_outcome(200, CURLE_COULDNT_RESOLVE_HOST, "{}", r::transfer_failure,
                   "Couldn't resolve host name");
    expect_outcome(204, CURLE_OK, "", r::undecodable, "<unspecified file>(1): expected value");
    expect_outcome(200, CURLE_OK, "{\"code\": \"E1\", \"reason\": \"unknown device\"}", r::rejected,
                   " unknown device");
    expect_outcome(200, CURLE_OK, "{\"code\": 42}", r::rejected, "--");
    expect_outcome(200, CURLE_OK, "{\"code\": \"\", \"reason\": \"\"}", r::rejected, " ");
    for (const char* body : {"{}", "{\"id\": \"1\", \"status\": \"ok\"}", "[1]", "\"text\""})
        expect_outcome(200, CURLE_OK, body, r::delivered, "");
    expect_outcome(101, CURLE_OK, "{}", r::delivered, "");
    expect_outcome(299, CURLE_OK, "{}", r::delivered, "");
}
