#pragma once
#include <string>

#include <boost/optional.hpp>

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

// Throws std::exception with the reader's text ("<unspecified file>(1): expected value")
// when the body is not one well-formed JSON value.
service_answer parse_service_answer(const std::string& body);
