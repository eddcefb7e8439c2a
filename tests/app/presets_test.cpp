#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/agent_folders.hpp"
#include "app/managed_policy.hpp"
#include "app/presets.hpp"
#include "app/resolved_settings.hpp"
#include "app/settings_file.hpp"
#include "file_contents.hpp"
#include "temp_home.hpp"

namespace {
using preset_map = std::map<std::string, std::string>;
using machine_map = std::map<std::string, machine_value>;

// As the platform layer gives the values.
std::function<machine_value(const char*)> reader(const machine_map& values)
{
    return [&values](const char* key) {
        const auto found = values.find(key);
        return found == values.end() ? machine_value() : found->second;
    };
}

machine_map typed(const preset_map& texts)
{
    machine_map values;
    for (const auto& [key, text] : texts)
        values[key] = wxString::FromUTF8(text);
    return values;
}

preset_defaults apply(const preset_map& presets)
{
    return apply_presets(reader(typed(presets)));
}

// The four defaults by settings key.
preset_map values(const setting_defaults& defaults)
{
    return {{settings::tracking_server_address, defaults.tracking_server_address.utf8_string()},
            {settings::coordinate_server_address, defaults.coordinate_server_address.utf8_string()},
            {settings::coordinate_server_port, defaults.coordinate_server_port.utf8_string()},
            {settings::device, defaults.device.utf8_string()}};
}

const setting_defaults built_in;
const preset_map fleet = {
    {settings::tracking_server_address, "https://tracking.example:8443/api/objects"},
    {settings::coordinate_server_address, "vehicle-pc.local"},
    {settings::coordinate_server_port, "12600"},
    {settings::device, "\xd0\x9b\xd0\xbe\xd0\xba-7"},
};
}

TEST(presets, a_bad_value_keeps_the_built_in_default_of_its_key_alone_and_says_so_in_one_row)
{
    struct preset_case {
        const char* key;
        std::string value;
        const char* refusal;  // null when the value is taken
    };
    const char* not_web = "not an http or https address";
    const char* not_host = "not a host name or address";
    const char* not_port = "not a port number from 1 to 65535";
    const char* control = "contains control characters";
    const preset_case cases[] = {
        {settings::tracking_server_address, "HTTP://10.0.0.5/objects", nullptr},
        {settings::tracking_server_address, "ftp://tracking.example/objects", not_web},
        {settings::tracking_server_address, "tracking.example/objects", not_web},
        {settings::tracking_server_address, "https://", not_web},
        {settings::tracking_server_address, "http:///objects", not_web},
        {settings::tracking_server_address, "http://tracking.example/a b", not_web},
        {settings::coordinate_server_address, "::1", nullptr},
        {settings::coordinate_server_address, "127.0.0.1 ", not_host},
        {settings::coordinate_server_address, "http://127.0.0.1", not_host},
        {settings::coordinate_server_port, "1", nullptr},
        {settings::coordinate_server_port, "65535", nullptr},
        {settings::coordinate_server_port, "0", not_port},
        {settings::coordinate_server_port, "65536", not_port},
        {settings::coordinate_server_port, "125000", not_port},
        {settings::coordinate_server_port, "12a", not_port},
        {settings::coordinate_server_port, "+80", not_port},
        {settings::device, "LOCO 7 / \xd0\x92", nullptr},
        {settings::device, "LOCO\t7", control},
        {settings::device, "LOCO-7\n", control},
    };
    for (const preset_case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        preset_map presets = fleet;
        presets[c.key] = c.value;
        const preset_defaults result = apply(presets);

        preset_map expected = presets;
        if (c.refusal)
            expected[c.key] = values(built_in)[c.key];
        EXPECT_EQ(values(result.defaults), expected);

        std::vector<std::string> rows;
        for (const wxString& row : result.refused)
            rows.push_back(row.utf8_string());
        std::string shown = c.value;
        for (char& ch : shown)
            if (static_cast<unsigned char>(ch) < 0x20)
                ch = '?';
        const std::vector<std::string> expected_rows =
            c.refusal ? std::vector<std::string>{"Installer preset " + std::string(c.key) + " [" + shown +
                                                 "] refused: " + c.refusal + ". The built-in default is used."}
                      : std::vector<std::string>{};
        EXPECT_EQ(rows, expected_rows);
    }
    EXPECT_EQ(values(apply({}).defaults), values(built_in)) << "no presets";
    EXPECT_EQ(values(apply({{settings::device, ""}}).defaults), values(built_in)) << "an empty value is no preset";
}

// The order in which the values in force are found: the policy, the user's file, the presets, the
// built-in values; a refused machine value (the rows say which) falls through to the next. The
// first-start file takes the presets, never the policy.
TEST(presets, are_below_the_users_file_and_the_policy_above_both)
{
    struct order_case {
        const char* name;
        machine_map presets;
        machine_map policy;
        std::optional<std::string> file;  // the user's file before the start; none at first start
        std::string file_after;
        std::string coordinates; // address:port
        std::string service;
        bool debug;
        std::vector<std::string> rows = {}; // the presets' refusals, then the policy's
        std::string managed = {};           // the managed keys as the start row names them
        std::string sources = {};           // of each key in force, in the file's order; unchecked when empty
    };
    const std::string built_in_file = std::string("tracking_server_address=") +
                                      settings::default_tracking_server_address +
                                      "\ncoordinate_server_address=127.0.0.1\ncoordinate_server_port=12500\n"
                                      "debug=0\ndevice=\n";
    const std::string fleet_file = "tracking_server_address=https://tracking.example:8443/api/objects\n"
                                   "coordinate_server_address=vehicle-pc.local\ncoordinate_server_port=12600\n"
                                   "debug=0\ndevice=\xd0\x9b\xd0\xbe\xd0\xba-7\n";
    const std::string users_file = "tracking_server_address=http://127.0.0.1:8081/objects\n"
                                   "coordinate_server_address=127.0.0.2\ncoordinate_server_port=12700\n"
                                   "debug=1\ndevice=own\n";
    const std::string built_in_service = settings::default_tracking_server_address;
    const std::string fleet_service = "https://tracking.example:8443/api/objects";
    const std::string users_service = "http://127.0.0.1:8081/objects";
    machine_map bad_port = typed(fleet);
    bad_port[settings::coordinate_server_port] = wxString("0");
    std::string bad_port_file = fleet_file;
    bad_port_file.replace(bad_port_file.find("12600"), 5, "12500");
    std::string number_port_file = built_in_file;
    number_port_file.replace(number_port_file.find("12500"), 5, "12600");
    const std::string policy_used = ". The user's value is used.";

    const order_case cases[] = {
        {"no presets, first start", {}, {}, std::nullopt, built_in_file, "127.0.0.1:12500", built_in_service, false},
        {"presets, first start", typed(fleet), {}, std::nullopt, fleet_file, "vehicle-pc.local:12600", fleet_service,
         false},
        {"presets, a file without those keys", typed(fleet), {}, "debug=1\n", "debug=1\n", "vehicle-pc.local:12600",
         fleet_service, true},
        {"presets, the user's file", typed(fleet), {}, users_file, users_file, "127.0.0.2:12700", users_service, true},
        {"a bad port preset, first start", bad_port, {}, std::nullopt, bad_port_file, "vehicle-pc.local:12500",
         fleet_service, false,
         {"Installer preset coordinate_server_port [0] refused: not a port number from 1 to 65535. "
          "The built-in default is used."}},
        {"a number preset is its decimal text, another type is refused",
         {{settings::coordinate_server_port, std::uint32_t{12600}}, {settings::device, other_value{}}},
         {}, std::nullopt, number_port_file, "127.0.0.1:12600", built_in_service, false,
         {"Installer preset device [] refused: not a text or a number. The built-in default is used."}},
        {"the policy over the user's file and the presets, numbers too", typed(fleet),
         {{settings::debug, std::uint32_t{0}},
          {settings::coordinate_server_port, std::uint32_t{12800}},
          {settings::tracking_server_address, wxString("https://policy.example/objects")}},
         users_file, users_file, "127.0.0.2:12800", "https://policy.example/objects", false, {},
         "tracking_server_address, coordinate_server_port, debug",
         "policy built-in file policy file policy built-in built-in"},
        {"a port in the file that is no port takes the default", typed(fleet), {}, "coordinate_server_port=70000\n",
         "coordinate_server_port=70000\n", "vehicle-pc.local:12600", fleet_service, false,
         {"Setting coordinate_server_port [70000] refused: not a port number from 1 to 65535. The default is used."},
         {}, "preset built-in preset preset preset built-in built-in built-in"},
        {"the policy at first start is not written", {}, {{settings::coordinate_server_address, wxString("10.1.1.1")}},
         std::nullopt, built_in_file, "10.1.1.1:12500", built_in_service, false, {}, "coordinate_server_address"},
        {"refused policy values leave the user's", typed(fleet),
         {{settings::tracking_server_address, other_value{}},
          {settings::coordinate_server_port, wxString("0")},
          {settings::debug, std::uint32_t{2}}},
         users_file, users_file, "127.0.0.2:12700", users_service, true,
         {"Policy tracking_server_address [] refused: not a text or a number" + policy_used,
          "Policy coordinate_server_port [0] refused: not a port number from 1 to 65535" + policy_used,
          "Policy debug [2] refused: not 0 or 1" + policy_used}},
        {"a refused policy value without a user's value leaves the preset", typed(fleet),
         {{settings::coordinate_server_port, wxString("65536")}, {settings::device, wxString()}}, "debug=1\n",
         "debug=1\n", "vehicle-pc.local:12600", fleet_service, true,
         {"Policy coordinate_server_port [65536] refused: not a port number from 1 to 65535" + policy_used}},
    };
    for (const order_case& c : cases) {
        SCOPED_TRACE(c.name);
        temp_home home;
        const wxFileName file = user_folders().settings_file();
        ASSERT_TRUE(create_settings_folder(file));
        if (c.file)
            write_file(fs_path(file), *c.file);

        const preset_defaults presets = apply_presets(reader(c.presets));
        const managed_policy policy = read_managed_policy(reader(c.policy));
        const auto config = open_settings(file, presets.defaults);
        const resolved_settings resolved = resolve_settings(policy, *config, presets.defaults);

        EXPECT_EQ(file_text(fs_path(file)), c.file_after);
        EXPECT_EQ(wxString::Format("%s:%u", resolved.poller.address, unsigned{resolved.poller.port}).utf8_string(),
                  c.coordinates);
        EXPECT_EQ(resolved.sender.tracking_server_address.utf8_string(), c.service);
        EXPECT_EQ(resolved.sender.debug, c.debug);
        std::vector<std::string> rows;
        for (const auto* refused : {&presets.refused, &policy.refused, &resolved.refused})
            for (const wxString& row : *refused)
                rows.push_back(row.utf8_string());
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(policy.keys().utf8_string(), c.managed);
        std::string sources;
        for (const setting_row& row : resolved.values)
            sources += (sources.empty() ? "" : " ") + row.source.utf8_string();
        if (!c.sources.empty()) {
            EXPECT_EQ(sources, c.sources);
        }
    }
}

// Group Policy rewrites a key by deleting its values and writing them again: a change goes in
// force only when the read after it agrees.
TEST(managed_policy, a_change_is_taken_when_a_second_read_agrees)
{
    const machine_map fleet_policy = typed({{settings::device, "LOCO-7"}, {settings::debug, "1"}});
    const machine_map other_device = typed({{settings::device, "LOCO-8"}}),
                      bad_port = typed({{settings::coordinate_server_port, "0"}});
    struct confirm_case {
        const char* name;
        machine_map at_start, check, confirm;
        bool due, taken;
        std::string managed; // the keys in force after both reads
    };
    const confirm_case cases[] = {
        {"the values lost for one read", fleet_policy, {}, fleet_policy, true, false, "device, debug"},
        {"a key that vanished", fleet_policy, {}, {}, true, true, ""},
        {"a new policy", {}, fleet_policy, fleet_policy, true, true, "device, debug"},
        {"a changed value", fleet_policy, other_device, other_device, true, true, "device"},
        {"a second read that differs again", fleet_policy, {}, other_device, true, false, "device, debug"},
        {"a new refusal", {}, bad_port, bad_port, true, true, ""},
        {"no change", fleet_policy, fleet_policy, {}, false, false, "device, debug"},
    };
    for (const confirm_case& c : cases) {
        SCOPED_TRACE(c.name);
        machine_map current = c.at_start;
        policy_watch watch(reader(current));
        current = c.check;
        EXPECT_EQ(watch.check(), c.due);
        current = c.confirm;
        const std::optional<managed_policy> replaced = c.due ? watch.confirm() : std::nullopt;
        EXPECT_EQ(replaced.has_value(), c.taken);
        EXPECT_EQ(watch.in_force().keys().utf8_string(), c.managed);
    }
}
