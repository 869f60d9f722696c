#include "tools/opc-console/console_config.h"

#include "src-base/core/ZizString.h"
#include "src-cfg/core/setting_text.h"
#include "src-cfg/properties_text.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace
{
const std::string device_suffix = "_device";

struct RoleKey
{
    RegisterRole role;
    const char* suffix;
    const char* default_register;
};

const RoleKey role_keys[] = {
    { RegisterRole::kiln, "_opc_kiln_register", "N75:3" },
    { RegisterRole::run, "_opc_run_register", "N75:4" },
    { RegisterRole::pkg, "_opc_pkg_register", "N75:5" },
};

bool ends_with (const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare (text.size() - end.size(), end.size(), end) == 0;
}

// A name that would break the line format of the output file is no usable register.
bool usable_register (const std::string& name)
{
    return ! name.empty() && name.find_first_of ("=\r\n") == std::string::npos;
}
} // namespace

std::string role_name (RegisterRole role)
{
    switch (role)
    {
        case RegisterRole::kiln: return "kiln";
        case RegisterRole::run: return "run";
        case RegisterRole::pkg: return "pkg";
    }
    return {};
}

std::optional<ConsoleConfig> load_console_config (const std::string& path, std::string& error)
{
    std::error_code ec;
    if (! std::filesystem::is_regular_file (path, ec))
    {
        error = "cannot read the configuration file \"" + path + "\"";
        return std::nullopt;
    }
    const auto properties = read_properties_text (Ziz::readFile (path));
    if (! properties)
    {
        error = "the configuration file \"" + path + "\" holds no <PROPERTIES> element";
        return std::nullopt;
    }

    // Keys are found ignoring case; a key met twice keeps its last value, as the monitor's store does.
    std::map<std::string, std::string> values;
    std::vector<std::string> prefixes;
    for (const auto& [key, value] : *properties)
    {
        values[Ziz::toLower (key)] = value;
        if (ends_with (key, device_suffix))
            prefixes.push_back (key.substr (0, key.size() - device_suffix.size()));
    }
    const auto find = [&values] (const std::string& key) -> const std::string*
    {
        const auto it = values.find (Ziz::toLower (key));
        return it == values.end() ? nullptr : &it->second;
    };

    ConsoleConfig config;
    if (const std::string* output = find ("opc_output_filename"); output != nullptr && ! output->empty())
        config.output_filename = *output;
    else
    {
        error = "the configuration file \"" + path + "\" names no opc_output_filename";
        return std::nullopt;
    }
    if (const std::string* url = find ("opc_url"))
        config.url = *url;
    if (const std::string* group = find ("opc_group"))
        config.group = *group;

    if (prefixes.empty())
        prefixes.emplace_back ("a");   // the monitor's first default device, with default registers
    for (const std::string& prefix : prefixes)
        for (const RoleKey& role_key : role_keys)
        {
            const std::string* stored = find (prefix + role_key.suffix);
            const std::string name = stored != nullptr ? *stored : role_key.default_register;
            const bool known = std::any_of (config.registers.begin(), config.registers.end(),
                                            [&name] (const OpcRegister& r) { return r.name == name; });
            if (usable_register (name) && ! known)
                config.registers.push_back ({ name, role_key.role });
        }

    const auto saved = [&find, &prefixes] (const char* suffix)
    {
        const std::string* text = find (prefixes.front() + suffix);
        return text != nullptr ? Ziz::readIntSetting (*text) : 0;
    };
    config.last_kiln = saved ("_last_kiln");
    config.last_run = saved ("_last_run");
    config.last_pkg = saved ("_last_pkg");
    return config;
}
