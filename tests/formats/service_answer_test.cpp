#include <stdexcept>

#include <boost/optional/optional_io.hpp>
#include <gtest/gtest.h>

#include "formats/delivery_outcome.hpp"
#include "formats/service_answer.hpp"

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

void expect_outcome(long status, const char* transfer, const std::string& body,
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

TEST(service_answer, nesting_is_bounded_before_the_reader_runs)
{
    const auto nested = [](std::size_t depth, const std::string& inner = "") {
        return std::string(depth, '[') + inner + std::string(depth, ']');
    };
    const std::size_t limit = max_answer_depth;
    const std::pair<std::string, bool> cases[] = {
        {nested(limit), false},
        {nested(limit + 1), true},
        {std::string(200000, '['), true},
        // Only open levels count, not brackets met in all.
        {"[" + nested(limit - 1) + "," + nested(limit - 1) + "]", false},
        {"{\"a\": " + nested(limit - 2, "{}") + "}", false},
        {"{\"a\": " + nested(limit - 2, "{\"b\": {}}") + "}", true},
        // Brackets inside strings do not count, also after an escaped quote...
        {nested(limit - 1, "[\"[[{{\\\"[{\", \"[\"]"), false},
        // ...and a string ends at a quote after an escaped backslash.
        {nested(limit - 1, "[\"\\\\\", [1]]"), true},
    };
    for (const auto& [body, too_deep] : cases) {
        bool refused = false;
        try {
            parse_service_answer(body);
        } catch (const answer_too_deep&) {
            refused = true;
        }
        EXPECT_EQ(refused, too_deep) << body.substr(0, 100);
    }
}

TEST(delivery_outcome, decided_in_order)
{
    using r = delivery_result;
    // The status wins over everything, the transfer error over the body.
    expect_outcome(302, nullptr, "{}", r::http_failure, "HTTP error code: 302.");
    expect_outcome(300, nullptr, "", r::http_failure, "HTTP error code: 300.");
    expect_outcome(500, "Timeout was reached", "", r::http_failure, "HTTP error code: 500.");
    expect_outcome(0, "Couldn't connect to server", "", r::transfer_failure,
                   "Couldn't connect to server");
    expect_outcome(200, "Couldn't resolve host name", "{}", r::transfer_failure,
                   "Couldn't resolve host name");
    expect_outcome(204, nullptr, "", r::undecodable, "<unspecified file>(1): expected value");
    expect_outcome(200, nullptr, "{\"code\": \"E1\", \"reason\": \"unknown device\"}", r::rejected,
                   " unknown device");
    expect_outcome(200, nullptr, "{\"code\": 42}", r::rejected, "--");
    expect_outcome(200, nullptr, "{\"code\": \"\", \"reason\": \"\"}", r::rejected, " ");
    for (const char* body : {"{}", "{\"id\": \"1\", \"status\": \"ok\"}", "[1]", "\"text\""})
        expect_outcome(200, nullptr, body, r::delivered, "");
    // Answers past the bounds; a body past the cap is what aborts its transfer.
    const std::string at_cap = "\"" + std::string(max_answer_bytes - 2, ' ') + "\"";
    expect_outcome(200, nullptr, at_cap, r::delivered, "");
    const char* write_error = "Failed writing received data to disk/application";
    expect_outcome(200, write_error, at_cap + " ", r::undecodable,
                   "Service answer larger than 65536 bytes");
    expect_outcome(503, write_error, at_cap + " ", r::http_failure, "HTTP error code: 503.");
    expect_outcome(200, nullptr, std::string(33, '{'), r::undecodable,
                   "Service answer nested deeper than 32 levels");
    expect_outcome(101, nullptr, "{}", r::delivered, "");
    expect_outcome(299, nullptr, "{}", r::delivered, "");
}
