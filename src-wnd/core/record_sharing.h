#pragma once

// Devices that would overwrite each other's record files. Record files are named by kiln, run and package
// only, so two devices that take their numbers from the same source and write into the same folder write
// the same files, and each imports the other's boards.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

struct RecordDestination
{
    std::string prefix;
    std::string folder;           // the record folder as the device resolves it
    std::string numbers_source;   // what decides its kiln, run and package numbers (file and registers)
};

// The pairs (by index, first < second) of devices with the same folder and the same numbers source. Folders
// are compared as paths: "a/b/", "a/b" and "a//b" are one folder.
std::vector<std::pair<std::size_t, std::size_t>> shared_record_destinations (const std::vector<RecordDestination>& devices);

// prefix=<a> and prefix=<b> ... : the log line for one pair.
std::string shared_records_log_line (const RecordDestination& a, const RecordDestination& b);

// What the chart of `device` shows for a pair, naming the setting that keeps the files apart.
std::string shared_records_chart_text (const RecordDestination& device, const RecordDestination& other);
