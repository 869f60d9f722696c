#include "src-wnd/core/record_sharing.h"

#include <filesystem>

namespace
{
std::string comparable_folder (const std::string& folder)
{
    std::string normal = std::filesystem::u8path (folder).lexically_normal().u8string();
    while (normal.size() > 1 && (normal.back() == '/' || normal.back() == '\\'))
        normal.pop_back();
    return normal;
}
} // namespace

std::vector<std::pair<std::size_t, std::size_t>> shared_record_destinations (const std::vector<RecordDestination>& devices)
{
    std::vector<std::string> folders;
    folders.reserve (devices.size());
    for (const auto& device : devices)
        folders.push_back (comparable_folder (device.folder));

    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    for (std::size_t i = 0; i < devices.size(); ++i)
        for (std::size_t j = i + 1; j < devices.size(); ++j)
            if (folders[i] == folders[j] && devices[i].numbers_source == devices[j].numbers_source)
                pairs.emplace_back (i, j);
    return pairs;
}

std::string shared_records_log_line (const RecordDestination& a, const RecordDestination& b)
{
    return "prefix=" + a.prefix + " and prefix=" + b.prefix + " would write the same record files into " + a.folder;
}

std::string shared_records_chart_text (const RecordDestination& device, const RecordDestination& other)
{
    return "record files shared with prefix=" + other.prefix + " in " + device.folder + ": set " + device.prefix
           + "_output_directory to keep them apart";
}
