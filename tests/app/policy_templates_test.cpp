// The Group Policy templates (windows/policies) against the agent's own settings keys: a policy
// for every key and for each of the menu's switches, each writing the value of that name under the
// key the agent reads; every text and presentation a template names defined alike in each
// language; the category taken from the base template; each help telling what the agent does.
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
// The maker's base template, which holds the category the product's is placed under.
const pt::ptree base_admx = read("quillbank.admx");
const std::string languages[] = {"en-US", "ru-RU"};
// The policies that take items out of the menu: no keys of the settings file.
const char* const menu_switches[] = {"allow_exit", "allow_setup"};

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

// A language's stringTable or presentationTable of a template, by id.
table entries(const std::string& language, const std::string& name, const std::string& templ = "routewarden")
{
    table found;
    const pt::ptree adml = read(language + "/" + templ + ".adml");
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
            // The device alone is REG_EXPAND_SZ: the agent expands %COMPUTERNAME% in it.
            EXPECT_EQ(attribute(element, "expandable"), name == settings::device ? "true" : "") << name;
            EXPECT_EQ(attribute(element, "required"), "true") << name;
            EXPECT_TRUE(kind == "text" || (kind == "decimal" && attribute(element, "minValue") == "1" &&
                                           attribute(element, "maxValue") == "65535"))
                << name << " is neither a text nor a port";
        }
    }
    std::multiset<std::string> expected(std::begin(settings::all_keys), std::end(settings::all_keys));
    expected.insert(std::begin(menu_switches), std::end(menu_switches));
    EXPECT_EQ(written, expected) << "the policies' values, once each, are the settings' keys and the menu's switches";
}

TEST(policy_templates, every_reference_resolves_in_each_language_alike)
{
    // The base template's categories, as the product's template names them through its prefix.
    std::set<std::string> categories, strings, presentations;
    const pt::ptree& base_target = base_admx.get_child("policyDefinitions.policyNamespaces.target");
    const pt::ptree& used = admx.get_child("policyDefinitions.policyNamespaces.using");
    EXPECT_EQ(attribute(used, "namespace"), attribute(base_target, "namespace"));
    for (const auto& [tag, category] : base_admx.get_child("policyDefinitions.categories"))
        categories.insert(attribute(used, "prefix") + ":" + attribute(category, "name"));
    for (const auto& [tag, category] : admx.get_child("policyDefinitions.categories"))
        categories.insert(attribute(category, "name"));
    for (const auto& [tag, category] : admx.get_child("policyDefinitions.categories"))
        EXPECT_TRUE(categories.count(category.get<std::string>("parentCategory.<xmlattr>.ref", "")))
            << attribute(category, "name") << " is in no category the templates define";
    const std::string supported =
        attribute(admx.get_child("policyDefinitions.supportedOn.definitions.definition"), "name");
    for (const auto& [tag, policy] : policies) {
        EXPECT_TRUE(categories.count(policy.get<std::string>("parentCategory.<xmlattr>.ref", "")));
        EXPECT_EQ(policy.get<std::string>("supportedOn.<xmlattr>.ref", ""), supported);
    }
    references(admx, "string", strings);
    references(admx, "presentation", presentations);
    std::set<std::string> base_strings;
    references(base_admx, "string", base_strings);

    for (const std::string& language : languages) {
        const table base_texts = entries(language, "stringTable", "quillbank");
        for (const std::string& id : base_strings)
            EXPECT_TRUE(base_texts.count(id)) << language << " lacks the base template's string " << id;
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

// Each policy's help against what the agent does: a fragment it must hold, and for the helps that
// once told something else, the wrong claim it must not; the live ones say a change is taken within
// about a minute, the others that it waits for the agent's next start.
TEST(policy_templates, each_help_tells_what_the_agent_does)
{
    struct claim {
        const char* english;
        const char* russian;
    };
    struct help {
        claim holds;
        claim never = {};
        bool live = true;
    };
    const std::map<std::string, help> helps = {
        {"tracking_server_address", {{"delivers the vehicle's positions", "передаёт местоположение"}}},
        {"proxy_server_address",
         {{"An empty proxy means a direct connection: the agent uses neither the system's proxy settings nor proxy "
           "environment variables.",
           "Пустой прокси означает прямое соединение: агент не использует ни системные настройки прокси, ни "
           "переменные окружения прокси."},
          {"without one, the system's proxy", "если её нет — системные"}}},
        {"coordinate_server_address", {{"host name or IP address", "Имя или IP-адрес"}}},
        {"coordinate_server_port", {{"from 1 to 65535", "от 1 до 65535"}}},
        {"device", {{"%COMPUTERNAME% are expanded", "%COMPUTERNAME%, раскрываются"}}},
        {"debug",
         {{"every failed delivery, other than one the service refused with an HTTP error code, leaves two dump files",
           "каждая неудавшаяся передача, кроме отклонённой сервисом с кодом ошибки HTTP, оставляет"},
          {"debug rows", "отладочные строки"}}},
        {"telemetry", {{"(255.255.255.255)", "(255.255.255.255)"}, {}, false}},
        {"telemetry_port", {{"only while telemetry is on", "только при включённой телеметрии"}, {}, false}},
        {"allow_exit",
         {{"the window's close box hides the window instead of ending the agent. The end of the user's session still "
           "ends the agent cleanly",
           "кнопка закрытия окна скрывает окно, не завершая агент. Конец сеанса пользователя по-прежнему "
           "корректно завершает агент"}}},
        {"allow_setup",
         {{"the menu does not offer Setup, and the options dialog cannot be opened",
           "меню не предлагает «Настройка», и диалог параметров открыть нельзя"}}},
    };
    const claim live = {"within about a minute, without a restart", "примерно через минуту, без перезапуска"};
    const claim at_start = {"at the agent's next start", "при следующем запуске агента"};
    std::set<std::string> named;
    for (const auto& [tag, policy] : policies)
        named.insert(attribute(policy, "name"));
    for (const auto& [name, help] : helps)
        EXPECT_TRUE(named.erase(name)) << "no policy " << name;
    EXPECT_TRUE(named.empty()) << "policies without a row here, the first: " << *named.begin();

    for (const std::string& language : languages) {
        const table texts = entries(language, "stringTable");
        const auto in_language = [&](const claim& c) { return language == "en-US" ? c.english : c.russian; };
        for (const auto& [name, help] : helps) {
            const std::string text = texts.count(name + "_help") ? texts.at(name + "_help").data() : "";
            EXPECT_NE(text.find(in_language(help.holds)), std::string::npos) << language << " " << name;
            if (in_language(help.never)) {
                EXPECT_EQ(text.find(in_language(help.never)), std::string::npos) << language << " " << name;
            }
            EXPECT_NE(text.find(in_language(help.live ? live : at_start)), std::string::npos)
                << language << " " << name << (help.live ? " does not apply within a minute" : " needs no restart");
        }
    }
}
