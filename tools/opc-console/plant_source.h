#pragma once

// Where the register values come from: a simulated plant (sim:) or a relay file that a gateway or a test
// writes (file:). The scheme of opc_url chooses.

#include "tools/opc-console/console_config.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using Clock = std::chrono::steady_clock;

// Register name and value, in the order of ConsoleConfig::registers.
using RegisterValues = std::vector<std::pair<std::string, std::int32_t>>;

class PlantSource
{
public:
    virtual ~PlantSource() = default;
    // The values as of `now`; nothing while there are none to write.
    virtual std::optional<RegisterValues> values (Clock::time_point now) = 0;
    // When values() may next give something new.
    virtual Clock::time_point next_change (Clock::time_point now) const = 0;
    // The console's line for one write of `values`, after "seq=N".
    virtual std::string describe (const RegisterValues& values) const = 0;
    // One line saying where the values come from.
    virtual std::string origin() const = 0;
    // A line for the console about a change of the source's own state (empty for none), given once.
    virtual std::string take_notice() { return {}; }
};

struct SimSettings
{
    double pkg_seconds = 60.0;     // a new package this often
    std::int32_t pkgs_per_run = 10; // a new run after this many packages; 0 keeps the run
    std::int32_t kiln = 1;
    std::int32_t run = 1;
    std::int32_t pkg = 1;
};

// sim:?pkg_seconds=60&pkgs_per_run=10&kiln=1&run=1&pkg=1; every part optional. Numbers missing from the URL
// continue from `saved` where it holds numbers greater than 0, otherwise from 1.
std::optional<SimSettings> parse_sim_url (const std::string& url, const SimSettings& saved, std::string& error);

// file:///abs/path, file://localhost/abs/path, file:/abs/path or file:relative/path, with %XX escapes;
// file:///C:/dir/x.txt names C:/dir/x.txt.
std::optional<std::string> parse_file_url (const std::string& url, std::string& error);

// The source for the configuration's opc_url; nothing, with the reason in `error`, for a URL this console
// cannot serve.
std::unique_ptr<PlantSource> make_plant_source (const ConsoleConfig& config, Clock::time_point start,
                                               std::string& error);
