#include "formats/service_answer.hpp"

#include <sstream>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

namespace {
// The first top-level member of that name; objects and arrays hold no text of their own.
boost::optional<std::string> member(const boost::property_tree::ptree& tree, const std::string& key)
{
    for (const auto& child : tree)
        if (child.first == key)
            return child.second.data();
    return boost::none;
}

// Counts the open arrays and objects outside strings as the reader would meet them. Past the
// first syntax error the count may differ, but the reader stops there.
bool nested_too_deep(const std::string& body)
{
    std::size_t depth = 0;
    bool in_string = false;
    bool escaped = false;
    for (const char c : body) {
        if (in_string) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > max_answer_depth)
                return true;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}
}

service_answer parse_service_answer(const std::string& body)
{
    if (nested_too_deep(body))
        throw answer_too_deep();
    std::istringstream stream(body);
    boost::property_tree::ptree tree;
    boost::property_tree::read_json(stream, tree);
    service_answer answer;
    answer.id = member(tree, "id");
    answer.name = member(tree, "name");
    answer.entityType = member(tree, "entityType");
    answer.guid = member(tree, "guid");
    answer.status = member(tree, "status");
    answer.code = member(tree, "code");
    answer.reason = member(tree, "reason");
    return answer;
}
