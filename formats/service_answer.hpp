#pragma once
#include <cstddef>
#include <stdexcept>
#include <string>

#include <boost/optional.hpp>

// An answer is a short object ({"id": …} or {"code": …, "reason": …}); these bounds keep a
// hostile or broken one from exhausting memory or, through the recursive reader and the
// tree's destructor, a thread's stack (1 MB on Windows).
constexpr std::size_t max_answer_bytes = 64 * 1024;
constexpr std::size_t max_answer_depth = 32;

// The members of the service's answer that are read; only code and reason matter.
struct service_answer {
    boost::optional<std::string> id;
    boost::optional<std::string> name;
    boost::optional<std::string> entityType;
    boost::optional<std::string> guid;
    boost::optional<std::string> status;
    boost::optional<std::string> code;
    boost::optional<std::string> reason;
};

// Thrown, before the reader runs, for a body whose arrays and objects nest deeper than
// max_answer_depth.
struct answer_too_deep : std::runtime_error {
    answer_too_deep() : std::runtime_error("answer nested too deep") {}
};

// Throws answer_too_deep, or std::exception with the reader's text
// ("<unspecified file>(1): expected value") when the body is not one well-formed JSON value.
service_answer parse_service_answer(const std::string& body);
