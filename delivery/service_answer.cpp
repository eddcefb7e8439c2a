#include "delivery/service_answer.hpp"

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
}

service_answer parse_service_answer(const std::string& body)
{
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
