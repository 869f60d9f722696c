#pragma once

// The one configuration file of the workstation, shared by all its users, and the only way the system
// reads and writes its settings.

#include <juce_data_structures/juce_data_structures.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class Cfg : public juce::PropertiesFile
{
public:
    // Loads the file, logs its path and writes the global defaults; a failed save, or a file that exists but
    // cannot be read, is appended to startupErrors (the application passes its start-up error list).
    explicit Cfg (std::vector<std::string>& startupErrors);
    ~Cfg() override;

    virtual void set_defaults();
    virtual void set_default (const std::string& key, std::int32_t value);
    virtual void set_default (const std::string& key, const std::string& value);
    virtual void set_str (const std::string& key, const std::string& value);
    virtual std::string get_str (const std::string& key, const std::string& fallback) const;
    virtual std::string get_str (const std::string& key) const;
    virtual std::int32_t get_int (const std::string& key) const;
    virtual bool get_bool (const std::string& key, bool fallback) const;

    // The name a device is shown under (tab, chart, warning): its name setting, or its prefix where the
    // name is missing or empty, or "Unknown" where both are empty. Never empty: the notebook drops the tab
    // button of an empty name but keeps its content, which would show one device's chart under another's tab.
    std::string shown_name (const std::string& prefix) const;

    // Writes the missing per-device settings of one device and removes its obsolete keys.
    void set_device_defaults (const std::string& prefix);

    // The key names in the order they entered the store.
    std::vector<std::string> get_keys();

    // Where the file lives: VUR_CONFIG_DIR when set, otherwise the all-users application data folder.
    static juce::File default_file();

    // The start-up error for a file that must not be given to the framework's reader at all: elements nested
    // deeper than any configuration file has, which its reader descends one call per level, so that such a
    // file would end the program on a stack overflow before it could say anything. Nothing for any other file.
    // The store reads its file in its constructor: ask this first.
    static std::optional<std::string> unsafe_file_error();
    static Options default_options();

protected:
    void propertyChanged() override;

private:
    Cfg (std::vector<std::string>* startupErrors);
    std::vector<std::string>* errorSink = nullptr;
    // The file exists but could not be read: the store works from its defaults in memory and never writes it.
    bool read_only = false;
};

// The configuration store of the application, which owns it: the first Cfg built that still exists. Code
// below the application reaches the settings through this, not through the application object.
// cfg_store() throws when there is none; find_cfg_store() returns nullptr then.
Cfg& cfg_store();
Cfg* find_cfg_store();

// The entries that a configuration file holding this text loads as, read the way the store reads its file
// (keys found ignoring case, the spelling of a key's first entry kept, a later entry's value replacing an
// earlier one); nothing when the store could not read the text.
std::optional<std::map<std::string, std::string>> read_cfg_entries (const std::string& xmlText);

// Platform defaults of the global keys.
std::string default_output_directory();
std::string default_opc_console_application();
std::string default_opc_url();
