// The Group Policy templates (windows/policies) against the agent's own settings keys: a policy
// for every key, each writing the value of that name under the key the agent reads, and every
// text and presentation the template names defined alike in each language.
#include <algorithm>
#include <map>
#include <set>
#include <string>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <gtest/gtest.h>

#include "app/settings_keys.hpp"

namespace {
namespace pt = boost::property_tree;
using table = std::map<std::string, pt::ptree>;

pt::ptree read(const std::string& file)
{
    pt::ptree tree;
    pt::read_xml(ROUTEWARDEN_POLICY_TEMPLATES "/" + file, tree,
                 pt::xml_parser::trim_whitespace | pt::xml_parser::no_comments);
    return tree;
}

std::string attribute(const pt::ptree& node, const std::string& name)
{
    return node.get<std::string>("<xmlattr>." + name, "");
}

const pt::ptree admx = read("routewarden.admx");
const pt::ptree& policies = admx.get_child("policyDefinitions.policies");

// The ids that attributes at or below node refer to as "$(<kind>.<id>)".
void references(const pt::ptree& node, const std::string& kind, std::set<std::string>& ids)
{
    const std::string opening = "$(" + kind + ".";
    for (const auto& [name, child] : node) {
        const std::string& text = child.data();
        if (name != "<xmlattr>" && text.rfind(opening, 0) == 0 && text.back() == ')')
            ids.insert(text.substr(opening.size(), text.size() - opening.size() - 1));
        references(child, kind, ids);
    }
}

// The fields of a policy: its elements, by kind.
pt::ptree elements(const pt::ptree& policy)
{
    const auto found = policy.get_child_optional("elements");
    return found ? *found : pt::ptree();
}

// A language's stringTable or presentationTable, by id.
table entries(const std::string& language, const std::string& name)
{
    table found;
    const pt::ptree adml = read(language + "/routewarden.adml");
    for (const auto& [tag, entry] : adml.get_child("policyDefinitionResources.resources." + name))
        EXPECT_TRUE(found.emplace(attribute(entry, "id"), entry).second) << language << " repeats " << tag;
    return found;
}
}

TEST(policy_templates, every_setting_has_one_policy_under_the_agents_key)
{
    std::multiset<std::string> written;
    for (const auto& [tag, policy] : policies) {
        const std::string name = attribute(policy, "name");
        EXPECT_EQ(attribute(policy, "key"), R"(SOFTWARE\Policies\Quillbank\Routewarden)") << name;
        EXPECT_EQ(attribute(policy, "class"), "Machine") << name;
        const pt::ptree fields = elements(policy);
        if (fields.empty()) { // a switch: Enabled writes 1, Disabled 0, as REG_DWORD
            written.insert(attribute(policy, "valueName"));
            EXPECT_EQ(policy.get<std::string>("enabledValue.decimal.<xmlattr>.value", ""), "1") << name;
            EXPECT_EQ(policy.get<std::string>("disabledValue.decimal.<xmlattr>.value", ""), "0") << name;
        }
        for (const auto& [kind, element] : fields) {
            written.insert(attribute(element, "valueName"));
            EXPECT_EQ(attribute(element, "key"), "") << name << " writes under another key";
            EXPECT_EQ(attribute(element, "required"), "true") << name;
            EXPECT_TRUE(kind == "text" || (kind == "decimal" && attribute(element, "minValue") == "1" &&
                                           attribute(element, "maxValue") == "65535"))
                << name << " is neither a text nor a port";
        }
    }
    EXPECT_EQ(written, std::multiset<std::string>(std::begin(settings::all_keys), std::end(settings::all_keys)))
        << "the policies' values, once each, are the settings' keys";
}

TEST(policy_templates, every_reference_resolves_in_each_language_alike)
{
    std::set<std::string> categories, strings, presentations;
    for (const auto& [tag, category] : admx.get_child("policyDefinitions.categories"))
        categories.insert(attribute(category, "name"));
    for (const auto& [tag, category] : admx.get_child("policyDefinitions.categories"))
        EXPECT_TRUE(categories.count(category.get("parentCategory.<xmlattr>.ref", attribute(category, "name"))));
    const std::string supported =
        attribute(admx.get_child("policyDefinitions.supportedOn.definitions.definition"), "name");
    for (const auto& [tag, policy] : policies) {
        EXPECT_TRUE(categories.count(policy.get<std::string>("parentCategory.<xmlattr>.ref", "")));
        EXPECT_EQ(policy.get<std::string>("supportedOn.<xmlattr>.ref", ""), supported);
    }
    references(admx, "string", strings);
    references(admx, "presentation", presentations);

    const std::string languages[] = {"en-US", "ru-RU"};
    for (const std::string& language : languages) {
        const table texts = entries(language, "stringTable"), shown = entries(language, "presentationTable");
        for (const std::string& id : strings)
            EXPECT_TRUE(texts.count(id)) << language << " lacks the string " << id;
        for (const std::string& id : presentations)
            EXPECT_TRUE(shown.count(id)) << language << " lacks the presentation " << id;
        // Each presentation shows exactly the fields of the policy that names it.
        for (const auto& [tag, policy] : policies) {
            std::set<std::string> named, fields, controls;
            references(policy, "presentation", named);
            for (const auto& [kind, element] : elements(policy))
                fields.insert(attribute(element, "id"));
            for (const std::string& id : named) {
                if (shown.count(id))
                    for (const auto& [kind, control] : shown.at(id))
                        if (kind != "<xmlattr>")
                            controls.insert(attribute(control, "refId"));
            }
            EXPECT_EQ(controls, fields) << language << ": " << attribute(policy, "name");
        }
        const auto same_ids = [](const table& a, const table& b) {
            return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                              [](const auto& x, const auto& y) { return x.first == y.first; });
        };
        EXPECT_TRUE(same_ids(texts, entries(languages[0], "stringTable"))) << language;
        EXPECT_TRUE(same_ids(shown, entries(languages[0], "presentationTable"))) << language;
    }
}
