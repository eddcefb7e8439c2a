// The Group Policy templates (windows/policies) against the agent's own settings keys: a policy
// for every key, each writing the value of that name under the key the agent reads, and every
// text and presentation the template names defined alike in each language.
#include <map>
#include <set>
#include <string>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <gtest/gtest.h>

#include "app/settings_keys.hpp"

namespace {
namespace pt = boost::property_tree;

constexpr const char* policy_key = R"(SOFTWARE\Policies\Quillbank\Routewarden)";
const std::string folder = ROUTEWARDEN_POLICY_TEMPLATES;
const char* const languages[] = {"en-US", "ru-RU"};

pt::ptree read(const std::string& file)
{
    pt::ptree tree;
    pt::read_xml(folder + "/" + file, tree, pt::xml_parser::trim_whitespace | pt::xml_parser::no_comments);
    return tree;
}

std::string attribute(const pt::ptree& node, const std::string& name)
{
    return node.get<std::string>("<xmlattr>." + name, "");
}

// The children of that name, in order.
template <class Visit> void each(const pt::ptree& parent, const std::string& name, Visit visit)
{
    for (const auto& [child_name, child] : parent)
        if (child_name == name)
            visit(child);
}

const pt::ptree admx = read("routewarden.admx");
const pt::ptree& policies = admx.get_child("policyDefinitions.policies");

// The id of a reference "$(<kind>.<id>)"; empty when the text is none.
std::string reference(const std::string& text, const std::string& kind)
{
    const std::string opening = "$(" + kind + ".";
    if (text.rfind(opening, 0) != 0 || text.back() != ')')
        return std::string();
    return text.substr(opening.size(), text.size() - opening.size() - 1);
}

// The ids that attributes anywhere below node refer to.
void references(const pt::ptree& node, const std::string& kind, std::set<std::string>& ids)
{
    for (const auto& [name, child] : node) {
        if (name != "<xmlattr>") {
            references(child, kind, ids);
            continue;
        }
        for (const auto& [attribute_name, value] : child)
            if (const std::string id = reference(value.data(), kind); !id.empty())
                ids.insert(id);
    }
}

// A language's table (stringTable or presentationTable): its entries by id.
std::map<std::string, pt::ptree> table(const std::string& language, const std::string& name)
{
    std::map<std::string, pt::ptree> entries;
    const pt::ptree adml = read(language + "/routewarden.adml");
    for (const auto& [entry_name, entry] : adml.get_child("policyDefinitionResources.resources." + name))
        EXPECT_TRUE(entries.emplace(attribute(entry, "id"), entry).second)
            << language << ": " << name << " defines " << attribute(entry, "id") << " twice";
    return entries;
}

std::set<std::string> ids(const std::map<std::string, pt::ptree>& entries)
{
    std::set<std::string> found;
    for (const auto& [id, entry] : entries)
        found.insert(id);
    return found;
}
}

TEST(policy_templates, every_setting_has_one_policy_under_the_agents_key)
{
    std::multiset<std::string> written;
    for (const auto& [name, policy] : policies) {
        const std::string policy_name = attribute(policy, "name");
        EXPECT_EQ(attribute(policy, "key"), policy_key) << policy_name;
        EXPECT_EQ(attribute(policy, "class"), "Machine") << policy_name;
        const pt::ptree elements = policy.get_child("elements", pt::ptree());
        if (elements.empty()) {
            // A switch: Enabled writes 1, Disabled 0, both as REG_DWORD.
            written.insert(attribute(policy, "valueName"));
            EXPECT_EQ(policy.get<std::string>("enabledValue.decimal.<xmlattr>.value", ""), "1") << policy_name;
            EXPECT_EQ(policy.get<std::string>("disabledValue.decimal.<xmlattr>.value", ""), "0") << policy_name;
        }
        for (const auto& [kind, element] : elements) {
            written.insert(attribute(element, "valueName"));
            EXPECT_TRUE(attribute(element, "key").empty()) << policy_name << " writes under another key";
            EXPECT_EQ(attribute(element, "required"), "true") << policy_name;
            if (kind == "decimal") {
                EXPECT_EQ(attribute(element, "minValue"), "1") << policy_name;
                EXPECT_EQ(attribute(element, "maxValue"), "65535") << policy_name;
            } else {
                EXPECT_EQ(kind, "text") << policy_name;
            }
        }
    }
    const std::multiset<std::string> keys(std::begin(settings::all_keys), std::end(settings::all_keys));
    EXPECT_EQ(written, keys) << "the policies' values, once each, are the settings' keys";
}

TEST(policy_templates, every_reference_resolves)
{
    std::set<std::string> categories;
    each(admx.get_child("policyDefinitions.categories"), "category",
         [&](const pt::ptree& category) { categories.insert(attribute(category, "name")); });
    const std::string supported =
        attribute(admx.get_child("policyDefinitions.supportedOn.definitions.definition"), "name");
    for (const auto& [name, node] : admx.get_child("policyDefinitions.categories"))
        if (const auto parent = node.get_optional<std::string>("parentCategory.<xmlattr>.ref"))
            EXPECT_EQ(categories.count(*parent), 1u) << *parent;
    for (const auto& [name, policy] : policies) {
        EXPECT_EQ(categories.count(policy.get<std::string>("parentCategory.<xmlattr>.ref", "")), 1u);
        EXPECT_EQ(policy.get<std::string>("supportedOn.<xmlattr>.ref", ""), supported);
    }

    std::set<std::string> strings, presentations;
    references(admx, "string", strings);
    references(admx, "presentation", presentations);
    for (const char* language : languages) {
        const auto string_table = table(language, "stringTable");
        const auto presentation_table = table(language, "presentationTable");
        for (const std::string& id : strings)
            EXPECT_EQ(string_table.count(id), 1u) << language << " lacks the string " << id;
        for (const std::string& id : presentations)
            EXPECT_EQ(presentation_table.count(id), 1u) << language << " lacks the presentation " << id;
        // Each presentation shows exactly the fields of the policies that name it.
        for (const auto& [name, policy] : policies) {
            const std::string presentation = reference(attribute(policy, "presentation"), "presentation");
            const auto shown = presentation_table.find(presentation);
            if (presentation.empty() || shown == presentation_table.end())
                continue;
            std::set<std::string> fields, controls;
            for (const auto& [kind, element] : policy.get_child("elements"))
                fields.insert(attribute(element, "id"));
            for (const auto& [kind, control] : shown->second)
                if (kind != "<xmlattr>")
                    controls.insert(attribute(control, "refId"));
            EXPECT_EQ(controls, fields) << language << ": " << presentation;
        }
    }
}

TEST(policy_templates, languages_define_the_same_ids)
{
    for (const char* name : {"stringTable", "presentationTable"})
        EXPECT_EQ(ids(table(languages[0], name)), ids(table(languages[1], name))) << name;
}
