#include "src-wnd/core/record_import.h"

#include "src-wnd/core/number_conversions.h"
#include "src-wnd/core/record_format.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace
{
bool is_separator (char c)
{
    return c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Calls take (value) for every value greater than 0, in order; conversion errors leave at once.
template <typename Take>
void for_each_record_value (const std::string& line, Take&& take)
{
    const std::string_view text (line);
    std::size_t i = 0;
    while (i < text.size())
    {
        while (i < text.size() && is_separator (text[i]))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && ! is_separator (text[i]))
            ++i;
        if (i == start)
            break;
        const std::string_view token = text.substr (start, i - start);
        if (token == ".")
            continue;
        const double value = convert_stod_token (token);
        if (value > 0.0)
            take (value);
    }
}
} // namespace

std::vector<int> import_package_order (int current_pkg)
{
    std::vector<int> order;
    order.reserve (1000);
    for (int p = 1; p <= 999; ++p)
        if (p != current_pkg)
            order.push_back (p);
    order.push_back (current_pkg);
    return order;
}

std::string read_record_values_line (const std::string& path)
{
    std::string line;
    read_record_values_line (path, line);
    return line;
}

bool read_record_values_line (const std::string& path, std::string& line)
{
    line.clear();
    std::ifstream in (std::filesystem::u8path (path));
    if (! in)
        return false;
    if (! std::getline (in, line) || ! std::getline (in, line))
    {
        line.clear();
        return ! in.bad();
    }
    if (! line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

std::string record_values_line_of (const std::string& text)
{
    const std::size_t first_end = text.find ('\n');
    if (first_end == std::string::npos)
        return {};
    const std::size_t start = first_end + 1;
    std::size_t end = text.find ('\n', start);
    if (end == std::string::npos)
        end = text.size();
    if (end > start && text[end - 1] == '\r')
        --end;
    return text.substr (start, end - start);
}

std::vector<double> parse_record_values (const std::string& line)
{
    std::vector<double> values;
    for_each_record_value (line, [&values] (double v) { values.push_back (v); });
    return values;
}

std::size_t import_record_values (const std::string& line, BoardBucket& run, BoardBucket& pkg)
{
    const std::vector<double> values = parse_record_values (line);
    for (BoardBucket* bucket : { &run, &pkg })
    {
        const std::size_t needed = bucket->values.size() + values.size();
        if (bucket->values.capacity() < needed)
            bucket->values.reserve (std::max (needed, 2 * bucket->values.capacity()));
        for (const double v : values)
            bucket->add (v);
    }
    return values.size();
}

std::string board_values_text (const std::vector<double>& values)
{
    std::string out;
    out.reserve (values.size() * 6);
    for (const double v : values)
    {
        append_one_decimal (out, v);
        out += ", ";
    }
    return out;
}
