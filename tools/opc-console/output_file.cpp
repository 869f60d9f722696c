#include "tools/opc-console/output_file.h"

#include "src-base/core/ZizString.h"

#include <cstdlib>

std::string output_file_text (std::uint32_t sequence, const std::string& group, const RegisterValues& values)
{
    // A group that would break the key (the monitor takes the text before the first "=") is left out.
    const bool use_group = ! group.empty() && group.find_first_of ("=\r\n") == std::string::npos;
    std::string text = std::to_string (sequence) + "\n";
    for (const auto& [name, value] : values)
        text += (use_group ? "[" + group + "]" : std::string()) + name + "=" + std::to_string (value) + "\n";
    return text;
}

std::optional<std::uint32_t> existing_sequence (const std::string& path)
{
    const std::vector<std::string> lines = Ziz::readTextFile (path, false, false);
    const std::string first = lines.empty() ? std::string() : Ziz::trim (lines.front());
    if (first.empty() || first.find_first_not_of ("0123456789") != std::string::npos || first.size() > 10)
        return std::nullopt;
    const unsigned long long value = std::strtoull (first.c_str(), nullptr, 10);
    if (value > 0xffffffffULL)
        return std::nullopt;
    return static_cast<std::uint32_t> (value);
}

std::uint32_t first_sequence (std::uint32_t clock_seconds, std::optional<std::uint32_t> left_behind)
{
    std::uint32_t sequence = clock_seconds == 0 ? 1 : clock_seconds;
    if (left_behind && sequence == *left_behind)
        sequence = next_sequence (sequence);
    return sequence;
}

std::uint32_t next_sequence (std::uint32_t sequence)
{
    return sequence == 0xffffffffu ? 1 : sequence + 1;
}
