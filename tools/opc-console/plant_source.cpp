#include "tools/opc-console/plant_source.h"

#include "src-base/core/ZizString.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>

namespace
{
bool starts_with (const std::string& text, const std::string& start)
{
    return text.compare (0, start.size(), start) == 0;
}

// A whole decimal number from 1 to the largest 32-bit value: the monitor ignores values of 0 or less and
// fails on values beyond 32 bits.
std::optional<std::int32_t> read_register_value (const std::string& text)
{
    std::string digits = Ziz::trim (text);
    if (! digits.empty() && digits[0] == '+')
        digits.erase (0, 1);
    if (digits.empty() || digits.size() > 10 || digits.find_first_not_of ("0123456789") != std::string::npos)
        return std::nullopt;
    const long long value = std::stoll (digits);
    if (value < 1 || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t> (value);
}

std::string percent_decode (const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit (static_cast<unsigned char> (text[i + 1]))
            && std::isxdigit (static_cast<unsigned char> (text[i + 2])))
        {
            out += static_cast<char> (std::strtol (text.substr (i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        }
        else
            out += text[i];
    }
    return out;
}

std::map<std::string, std::int32_t> read_relay_file (const std::string& path, bool& present)
{
    std::map<std::string, std::int32_t> found;
    const std::vector<std::string> lines = Ziz::readTextFile (path, false, false);
    present = ! lines.empty();
    for (const std::string& raw : lines)
    {
        const std::string line = Ziz::trim (raw);
        const std::size_t equals = line.find ('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos || equals + 1 >= line.size())
            continue;
        if (const auto value = read_register_value (line.substr (equals + 1)))
            found[Ziz::trim (line.substr (0, equals))] = *value;
    }
    return found;
}

class SimulatedPlant : public PlantSource
{
public:
    SimulatedPlant (const SimSettings& s, const std::vector<OpcRegister>& r, Clock::time_point start_time)
        : settings (s), registers (r), start (start_time), kiln (s.kiln), run (s.run), pkg (s.pkg)
    {
    }

    std::optional<RegisterValues> values (Clock::time_point now) override
    {
        // Packages follow deadlines from the start, so a slow loop catches up instead of drifting.
        const double elapsed = std::chrono::duration<double> (now - start).count();
        const auto due = static_cast<std::uint64_t> (std::max (0.0, std::floor (elapsed / settings.pkg_seconds)));
        for (; packages < due; ++packages)
            next_package();

        RegisterValues out;
        for (const OpcRegister& r : registers)
            out.emplace_back (r.name, r.role == RegisterRole::kiln ? kiln : r.role == RegisterRole::run ? run : pkg);
        return out;
    }

    Clock::time_point next_change (Clock::time_point) const override
    {
        const auto offset = std::chrono::duration<double> (settings.pkg_seconds * static_cast<double> (packages + 1));
        return start + std::chrono::duration_cast<Clock::duration> (offset);
    }

    std::string describe (const RegisterValues&) const override
    {
        return "kiln=" + std::to_string (kiln) + " run=" + std::to_string (run) + " pkg=" + std::to_string (pkg);
    }

    std::string origin() const override
    {
        char seconds[32];
        std::snprintf (seconds, sizeof seconds, "%g", settings.pkg_seconds);
        return "simulated plant: a new package every " + std::string (seconds)
               + " s, a new run every " + std::to_string (settings.pkgs_per_run) + " packages";
    }

private:
    void next_package()
    {
        // Numbers stay within what the monitor reads (1 to the largest 32-bit value).
        const std::int32_t top = std::numeric_limits<std::int32_t>::max();
        if (settings.pkgs_per_run > 0 && pkg >= settings.pkgs_per_run)
        {
            run = run == top ? 1 : run + 1;
            pkg = 1;
        }
        else
            pkg = pkg == top ? 1 : pkg + 1;
    }

    SimSettings settings;
    std::vector<OpcRegister> registers;
    Clock::time_point start;
    std::uint64_t packages = 0;
    std::int32_t kiln;
    std::int32_t run;
    std::int32_t pkg;
};

class RelayFile : public PlantSource
{
public:
    RelayFile (std::string relay_path, const std::vector<OpcRegister>& r)
        : path (std::move (relay_path)), registers (r)
    {
    }

    std::optional<RegisterValues> values (Clock::time_point now) override
    {
        if (now >= next_read)
        {
            next_read = now + poll_period;
            bool present = false;
            const auto found = read_relay_file (path, present);
            if (! was_present || present != *was_present)
                notice = present ? "reading the relay file \"" + path + "\""
                                 : "waiting for the relay file \"" + path + "\"";
            was_present = present;
            current.clear();
            for (const OpcRegister& r : registers)
                if (const auto it = found.find (r.name); it != found.end())
                    current.emplace_back (r.name, it->second);
        }
        if (current.empty())
            return std::nullopt;
        return current;
    }

    Clock::time_point next_change (Clock::time_point) const override { return next_read; }

    std::string describe (const RegisterValues& values) const override
    {
        std::string text;
        for (const auto& [name, value] : values)
            text += (text.empty() ? "" : " ") + name + "=" + std::to_string (value);
        return text;
    }

    std::string origin() const override { return "relay file \"" + path + "\", read every 250 ms"; }

    std::string take_notice() override { return std::exchange (notice, {}); }

private:
    static constexpr std::chrono::milliseconds poll_period { 250 };
    std::string path;
    std::vector<OpcRegister> registers;
    Clock::time_point next_read {};
    RegisterValues current;
    std::optional<bool> was_present;
    std::string notice;
};
} // namespace

std::optional<SimSettings> parse_sim_url (const std::string& url, const SimSettings& saved, std::string& error)
{
    SimSettings settings;
    for (std::int32_t SimSettings::*number : { &SimSettings::kiln, &SimSettings::run, &SimSettings::pkg })
        settings.*number = saved.*number > 0 ? saved.*number : 1;

    std::string query = url.substr (std::string ("sim:").size());
    if (starts_with (query, "//"))
        query = query.substr (2);
    if (const std::size_t mark = query.find ('?'); mark != std::string::npos)
        query = query.substr (mark + 1);
    else if (! query.empty())
    {
        error = "expected sim:?name=value&... in \"" + url + "\"";
        return std::nullopt;
    }

    std::size_t pos = 0;
    while (pos <= query.size() && ! query.empty())
    {
        const std::size_t amp = std::min (query.find ('&', pos), query.size());
        const std::string part = query.substr (pos, amp - pos);
        pos = amp + 1;
        if (part.empty())
            continue;
        const std::size_t equals = part.find ('=');
        const std::string name = part.substr (0, equals);
        const std::string value = equals == std::string::npos ? std::string() : part.substr (equals + 1);
        if (name == "pkg_seconds")
        {
            char* stop = nullptr;
            const double seconds = std::strtod (value.c_str(), &stop);
            // Bounded so that catching up after a pause stays quick and the deadlines stay representable.
            if (value.empty() || *stop != '\0' || ! (seconds >= 0.001 && seconds <= 1e9))
            {
                error = "pkg_seconds must be a number of seconds from 0.001 to 1000000000, not \"" + value + "\"";
                return std::nullopt;
            }
            settings.pkg_seconds = seconds;
        }
        else if (name == "pkgs_per_run" && (value == "0" || read_register_value (value)))
            settings.pkgs_per_run = value == "0" ? 0 : *read_register_value (value);
        else if (name == "kiln" || name == "run" || name == "pkg")
        {
            const auto number = read_register_value (value);
            if (! number)
            {
                error = name + " must be a whole number from 1 to 2147483647, not \"" + value + "\"";
                return std::nullopt;
            }
            (name == "kiln" ? settings.kiln : name == "run" ? settings.run : settings.pkg) = *number;
        }
        else
        {
            error = "unknown or invalid setting \"" + part + "\" in \"" + url
                    + "\" (known: pkg_seconds, pkgs_per_run, kiln, run, pkg)";
            return std::nullopt;
        }
    }
    return settings;
}

std::optional<std::string> parse_file_url (const std::string& url, std::string& error)
{
    std::string rest = url.substr (std::string ("file:").size());
    if (starts_with (rest, "//"))
    {
        // An authority: empty or localhost; the path follows it.
        const std::size_t slash = rest.find ('/', 2);
        const std::string host = rest.substr (2, slash == std::string::npos ? std::string::npos : slash - 2);
        if (host != "" && Ziz::toLower (host) != "localhost")
        {
            error = "file: URLs must name a local file, not one on \"" + host + "\"";
            return std::nullopt;
        }
        rest = slash == std::string::npos ? std::string() : rest.substr (slash);
    }
    std::string path = percent_decode (rest);
    // file:///C:/dir names the drive path C:/dir.
    if (path.size() >= 3 && path[0] == '/' && std::isalpha (static_cast<unsigned char> (path[1])) && path[2] == ':')
        path = path.substr (1);
    if (path.empty())
    {
        error = "the URL \"" + url + "\" names no file";
        return std::nullopt;
    }
    return path;
}

std::unique_ptr<PlantSource> make_plant_source (const ConsoleConfig& config, Clock::time_point start,
                                               std::string& error)
{
    const std::string scheme = Ziz::toLower (config.url.substr (0, config.url.find (':') + 1));
    if (scheme == "sim:")
    {
        SimSettings saved;
        saved.kiln = config.last_kiln;
        saved.run = config.last_run;
        saved.pkg = config.last_pkg;
        const auto settings = parse_sim_url (config.url, saved, error);
        if (! settings)
            return nullptr;
        return std::make_unique<SimulatedPlant> (*settings, config.registers, start);
    }
    if (scheme == "file:")
    {
        const auto path = parse_file_url (config.url, error);
        if (! path)
            return nullptr;
        return std::make_unique<RelayFile> (*path, config.registers);
    }
    if (config.url.empty())
        error = "the configuration holds no opc_url, so there is no plant to read";
    else
        error = "cannot serve opc_url \"" + config.url + "\": this OPC console reads only sim: (simulated plant) "
                "and file: (relay file) URLs and cannot reach an OPC server";
    return nullptr;
}
