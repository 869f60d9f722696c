#pragma once

// What the OPC console takes from the monitor's configuration file.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class RegisterRole
{
    kiln,
    run,
    pkg
};

struct OpcRegister
{
    std::string name;   // "N75:3"
    RegisterRole role;
};

struct ConsoleConfig
{
    std::string output_filename;        // opc_output_filename
    std::string url;                    // opc_url
    std::string group;                  // opc_group; becomes the "[INFEED]" in front of every key
    std::vector<OpcRegister> registers; // every distinct register of every device, in the order of the file
    // The first device's saved numbers (<prefix>_last_kiln, ...), 0 where missing: where a simulation
    // continues when its URL does not say.
    std::int32_t last_kiln = 0;
    std::int32_t last_run = 0;
    std::int32_t last_pkg = 0;
};

// Reads the configuration file. A device is a key ending in "_device"; its registers are the keys
// <prefix>_opc_kiln_register, _opc_run_register and _opc_pkg_register, looked up ignoring case like every
// other key. A missing register key means the monitor's default (N75:3, N75:4, N75:5), and a file without
// any device (the monitor writes its device keys a few seconds after start on a first run) serves the
// default registers. Empty register names are left out: a key cannot end with nothing useful.
// Nothing, with the reason in `error`, when the file cannot be read or names no output file.
std::optional<ConsoleConfig> load_console_config (const std::string& path, std::string& error);

std::string role_name (RegisterRole role);
