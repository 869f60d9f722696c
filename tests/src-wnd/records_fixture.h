#pragma once

// Device channels as in DeviceTabFixture, with their saved numbers, their record folder, their OPC output
// file and their log at hand.

#include "device_tab_fixture.h"
#include "src-base/platform/os_conventions.h"
#include "src-log/log.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vurtest
{
class RecordsFixture : public DeviceTabFixture
{
protected:
    void SetUp() override
    {
        DeviceTabFixture::SetUp();
        record_dir = records_dir + "/" + std::to_string (Ziz::sys::localTime (std::time (nullptr)).tm_year + 1900);
        std::filesystem::create_directories (record_dir);
    }

    // A device on a fresh meter line with the given saved numbers; its timer does not run.
    void add_quiet_device (const std::string& prefix, int kiln, int run, int pkg)
    {
        DeviceTabFixture::add_quiet_device (prefix);
        auto& cfg = *app->cfg;
        cfg.set_str (prefix + "_last_kiln", std::to_string (kiln));
        cfg.set_str (prefix + "_last_run", std::to_string (run));
        cfg.set_str (prefix + "_last_pkg", std::to_string (pkg));
    }

    TabCanvas& make_canvas (const std::string& prefix, int kiln, int run, int pkg)
    {
        add_quiet_device (prefix, kiln, run, pkg);
        return open_canvas (prefix);
    }

    // A package file as the system writes it; only its second line counts when it is read back.
    void write_record (const std::string& name, const std::string& values_line) const
    {
        writeFile (record_dir + "/" + name, "0000,statistics line\r\n" + values_line + "\r\n");
    }

    std::string record (const std::string& name) const { return readFile (record_dir + "/" + name); }
    bool record_exists (const std::string& name) const { return std::filesystem::exists (std::filesystem::u8path (record_dir + "/" + name)); }

    std::vector<std::string> record_names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator (std::filesystem::u8path (record_dir)))
            names.push_back (entry.path().filename().u8string());
        std::sort (names.begin(), names.end());
        return names;
    }

    static void write_opc_file (const TabCanvas& canvas, const std::string& text)
    {
        writeFile (canvas.opc_output_filename, text);
    }

    // The log from a mark on: take the mark, act, then look at what the action logged.
    std::size_t log_mark() const { return log_text().size(); }
    std::string log_since (std::size_t mark) const
    {
        const std::string text = log_text();
        return mark < text.size() ? text.substr (mark) : std::string();
    }

    static std::size_t count_of (const std::string& text, const std::string& part) { return vurtest::count_of (text, part); }

    // The message lines of a piece of log, without their timestamps (continuation lines stay as they are).
    static std::vector<std::string> messages (const std::string& text)
    {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find ('\n', start)) != std::string::npos; start = end + 1)
        {
            const std::string line = text.substr (start, end - start);
            lines.push_back (line.size() > 24 && line[3] == ' ' && line[23] == ' ' ? line.substr (24) : line);
        }
        return lines;
    }

    // The same, only the lines of one channel (its reading thread has lines of its own).
    static std::vector<std::string> channel_messages (const std::string& text, const std::string& prefix)
    {
        std::vector<std::string> lines;
        for (auto& line : messages (text))
            if (line.rfind ("prefix=" + prefix + ": ", 0) == 0)
                lines.push_back (std::move (line));
        return lines;
    }

    static std::string text_of (const juce::TextEditor& field) { return field.getText().toStdString(); }

    std::string record_dir;
};
} // namespace vurtest
