#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/presets.hpp"
#include "app/resolved_settings.hpp"
#include "app/settings_file.hpp"
#include "temp_home.hpp"

namespace {
using preset_map = std::map<std::string, std::string>;

preset_defaults apply(const preset_map& presets)
{
    return apply_presets([&](const char* key) {
        const auto found = presets.find(key);
        return found == presets.end() ? wxString() : wxString::FromUTF8(found->second);
    });
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

// Where the defaults are used: the first-start file, and the values the workers get for keys the
// file lacks. A user's own file wins.
TEST(presets, replace_the_built_in_defaults_but_a_users_file_wins)
{
    struct where_case {
        const char* name;
        preset_map presets;
        std::optional<std::string> file;  // the user's file before the start; none at first start
        std::string file_after;
        std::string coordinates; // address:port
        std::string service;
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
    preset_map bad_port = fleet;
    bad_port[settings::coordinate_server_port] = "0";
    std::string bad_port_file = fleet_file;
    bad_port_file.replace(bad_port_file.find("12600"), 5, "12500");

    const where_case cases[] = {
        {"no presets, first start", {}, std::nullopt, built_in_file, "127.0.0.1:12500", built_in_service},
        {"presets, first start", fleet, std::nullopt, fleet_file, "vehicle-pc.local:12600",
         "https://tracking.example:8443/api/objects"},
        {"presets, a file without those keys", fleet, "debug=1\n", "debug=1\n", "vehicle-pc.local:12600",
         "https://tracking.example:8443/api/objects"},
        {"presets, the user's file", fleet, users_file, users_file, "127.0.0.2:12700",
         "http://127.0.0.1:8081/objects"},
        {"a bad port preset, first start", bad_port, std::nullopt, bad_port_file, "vehicle-pc.local:12500",
         "https://tracking.example:8443/api/objects"},
    };
    for (const where_case& c : cases) {
        SCOPED_TRACE(c.name);
        temp_home home;
        const wxFileName file = settings_file_name();
        ASSERT_TRUE(create_settings_folder(file));
        if (c.file)
            std::ofstream(file.GetFullPath().ToStdString(), std::ios::binary) << *c.file;

        const setting_defaults defaults = apply(c.presets).defaults;
        const auto config = open_settings(file, defaults);
        const resolved_settings resolved = resolve_settings(*config, defaults);

        std::ifstream in(file.GetFullPath().ToStdString());
        std::ostringstream written;
        written << in.rdbuf();
        EXPECT_EQ(written.str(), c.file_after);
        EXPECT_EQ((resolved.poller.address + ":" + resolved.poller.port).utf8_string(), c.coordinates);
        EXPECT_EQ(resolved.sender.tracking_server_address.utf8_string(), c.service);
    }
}
