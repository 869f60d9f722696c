#include "src-cfg/cfg.h"

#include "src-base/core/ZizException.h"
#include "src-base/core/ZizString.h"
#include "src-base/juce_text.h"
#include "src-base/platform/os_conventions.h"
#include "src-cfg/core/setting_text.h"
#include "src-cfg/properties_text.h"
#include "src-log/log.h"

#include <atomic>
#include <cstdlib>

namespace
{
// The application's store while it lives; read from the reading threads.
std::atomic<Cfg*> current_store { nullptr };

const char* const applicationFolderName = "DuvidudUvereverOzure";

// What kept the framework from reading an existing file, in its own words where it has them.
std::string unreadable_reason (const juce::File& file)
{
    juce::FileInputStream in (file);
    if (in.failedToOpen())
        return in.getStatus().getErrorMessage().toStdString();

    juce::XmlDocument document (file);
    if (const auto root = document.getDocumentElement())
        return "its outer element is <" + root->getTagName().toStdString() + ">, not <PROPERTIES>";

    const auto error = document.getLastParseError();
    return error.isEmpty() ? std::string ("the framework gave no reason") : "reading stopped: " + error.toStdString();
}

std::string unreadable_file_error (const juce::File& file, const std::string& reason)
{
    return "The configuration file " + file.getFullPathName().toStdString() + " cannot be read (" + reason
           + "). It has been left as it is: correct it or move it away, then start the program again.";
}

const std::string too_deep = "elements are nested deeper than " + std::to_string (max_properties_nesting) + " levels";
} // namespace

std::optional<std::map<std::string, std::string>> read_cfg_entries (const std::string& xmlText)
{
    const auto entries = read_properties_text (xmlText);
    if (! entries)
        return std::nullopt;
    return std::map<std::string, std::string> (entries->begin(), entries->end());
}

std::string default_output_directory() { return Ziz::sys::defaultRecordFolder(); }

std::string default_opc_console_application() { return Ziz::sys::defaultOpcConsoleApplication(); }

std::string default_opc_url() { return "opcda://localhost/RSLinx OPC Server"; }

juce::PropertiesFile::Options Cfg::default_options()
{
    Options options;
    options.applicationName = applicationFolderName;
    options.filenameSuffix = ".cfg";
    options.folderName = "";
    options.commonToAllUsers = true;
    options.ignoreCaseOfKeyNames = true;
    options.storageFormat = storeAsXML;
    options.millisecondsBeforeSaving = 3000;
    options.doNotSave = false;
    options.processLock = nullptr;
    return options;
}

std::optional<std::string> Cfg::unsafe_file_error()
{
    const juce::File file = default_file();
    if (! file.existsAsFile() || properties_nesting_within_limit (Ziz::readFile (file.getFullPathName().toStdString())))
        return std::nullopt;
    return unreadable_file_error (file, "its " + too_deep);
}

juce::File Cfg::default_file()
{
    const juce::String fileName = juce::String (applicationFolderName) + ".cfg";

    if (const char* overrideDir = std::getenv ("VUR_CONFIG_DIR"); overrideDir != nullptr && *overrideDir != 0)
        return juce::File (juce::String::fromUTF8 (overrideDir)).getChildFile (fileName);

    // Not the framework's own default: on Linux it would hide the folder (/var/.name).
    return juce::File (juce::String::fromUTF8 (Ziz::sys::allUsersDataFolder().c_str()))
        .getChildFile (applicationFolderName)
        .getChildFile (fileName);
}

Cfg::Cfg (std::vector<std::string>& startupErrors) : Cfg (&startupErrors) {}

Cfg::Cfg (std::vector<std::string>* startupErrors)
    : juce::PropertiesFile (default_file(), default_options()), errorSink (startupErrors)
{
    log_line ("configuration file used: " + getFile().getFullPathName().toStdString());

    // The file holds every device definition and the last kiln, run and package numbers; one that a hand
    // edit has broken must reach a person intact, not be replaced by the defaults at the first save.
    // (A folder in the file's place is no such file: its failed save is reported below.)
    if (! isValidFile() && getFile().existsAsFile())
    {
        read_only = true;
        if (errorSink != nullptr)
            errorSink->push_back (unreadable_file_error (getFile(), unreadable_reason (getFile())));
    }
    else
    {
        // The framework's writer parses every value as XML at each save: a value holding escaped elements
        // nested without end would end the program at the first save, 3 seconds after start.
        const auto& keys = getAllProperties().getAllKeys();
        const auto& values = getAllProperties().getAllValues();
        for (int i = 0; i < keys.size() && ! read_only; ++i)
            if (! properties_nesting_within_limit (values[i].toStdString()))
            {
                read_only = true;
                if (errorSink != nullptr)
                    errorSink->push_back (unreadable_file_error (getFile(), "the value of " + keys[i].toStdString() + ": " + too_deep));
            }
    }

    set_defaults();

    // The first store built is the application's; one built beside it (a test's, a tool's) does not replace it.
    Cfg* none = nullptr;
    current_store.compare_exchange_strong (none, this);
}

void Cfg::propertyChanged()
{
    // Without this the change would be saved, 3000 ms later or at destruction, over the unreadable file.
    if (read_only)
        return;
    juce::PropertiesFile::propertyChanged();
}

Cfg::~Cfg()
{
    Cfg* self = this;
    current_store.compare_exchange_strong (self, nullptr);

    // A failed save here has nobody left to tell.
    saveIfNeeded();
}

void Cfg::set_defaults()
{
    set_default ("get_version_number", "TRUE");
    set_default ("get_motd", "TRUE");
    set_default ("output_directory", default_output_directory());
    set_default ("opc_console_application", default_opc_console_application());
    set_default ("opc_url", default_opc_url());
    set_default ("opc_group", "INFEED");
    set_default ("opc_show_console_window", "FALSE");
    set_default ("allow_user_to_close", "TRUE");
    set_default ("warn_if_package_contains_too_many_boards", "TRUE");
    set_default ("warn_board_threshold", "1500");
    set_default ("warn_seconds_between_warnings", "300");

    setValue ("opc_output_filename",
              juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("vad_odu_durodo.txt").getFullPathName());

    if (! saveIfNeeded() && errorSink != nullptr)
        errorSink->push_back ("Failed to save configuration file " + getFile().getFullPathName().toStdString() + ". (Permission issues?)");
}

void Cfg::set_default (const std::string& key, std::int32_t value)
{
    set_default (key, std::to_string (value));
}

void Cfg::set_default (const std::string& key, const std::string& value)
{
    if (! containsKey (to_juce (key)))
        setValue (to_juce (key), to_juce (value));
}

void Cfg::set_str (const std::string& key, const std::string& value)
{
    setValue (to_juce (key), to_juce (value));
}

std::string Cfg::get_str (const std::string& key, const std::string& fallback) const
{
    if (! containsKey (to_juce (key)))
        return fallback;
    return getValue (to_juce (key)).toStdString();
}

std::string Cfg::get_str (const std::string& key) const
{
    if (! containsKey (to_juce (key)))
        throw Ziz::Exception ("Cfg::get_str", "src-cfg\\cfg", __LINE__, "expected configuration to contain a key named \"" + key + "\"");
    return getValue (to_juce (key)).toStdString();
}

std::int32_t Cfg::get_int (const std::string& key) const
{
    if (! containsKey (to_juce (key)))
        throw Ziz::Exception ("Cfg::get_int", "src-cfg\\cfg", __LINE__, "expected configuration to contain a key named \"" + key + "\"");
    return Ziz::readIntSetting (getValue (to_juce (key)).toStdString());
}

bool Cfg::get_bool (const std::string& key, bool fallback) const
{
    if (! containsKey (to_juce (key)))
        return fallback;
    return Ziz::readBoolSetting (getValue (to_juce (key)).toStdString()).value_or (fallback);
}

std::string Cfg::shown_name (const std::string& prefix) const
{
    if (auto name = get_str (prefix + "_name", ""); ! name.empty())
        return name;
    return prefix.empty() ? std::string ("Unknown") : prefix;
}

void Cfg::set_device_defaults (const std::string& prefix)
{
    set_default (prefix + "_name", "Unknown");
    set_default (prefix + "_interval_ms", 250);
    set_default (prefix + "_chart_redraw_ms", 1000);
    set_default (prefix + "_run_simulation", "false");
    set_default (prefix + "_read_len", 11);
    set_default (prefix + "_regex_pattern", "\\s*([\\d.]{4})\\s+([\\d.]{4})\\s*");
    set_default (prefix + "_export_image", "false");
    set_default (prefix + "_opc_kiln_register", "N75:3");
    set_default (prefix + "_opc_run_register", "N75:4");
    set_default (prefix + "_opc_pkg_register", "N75:5");
    set_default (prefix + "_opc_via_csv_filename", "");
    set_default (prefix + "_opc_via_csv_regex", "^\\s*\"(.+)\",([0-9]+)$");
    set_default (prefix + "_last_kiln", "1");
    set_default (prefix + "_last_run", "1");
    set_default (prefix + "_last_pkg", "1");
    set_default (prefix + "_comm_str", "baud=9600 parity=N data=8 stop=1 to=on xon=off odsr=off octs=off dtr=on rts=on idsr=off");

    for (const char* obsolete : { "_speed", "_data_bits", "_parity_bits", "_stop_bits" })
        removeValue (to_juce (prefix + obsolete));
}

std::vector<std::string> Cfg::get_keys()
{
    const juce::ScopedLock guard (getLock());
    std::vector<std::string> keys;
    const auto& all = getAllProperties();
    keys.reserve (static_cast<std::size_t> (all.size()));
    for (const auto& key : all.getAllKeys())
        keys.push_back (key.toStdString());
    return keys;
}

Cfg* find_cfg_store() { return current_store.load(); }

Cfg& cfg_store()
{
    if (auto* store = find_cfg_store())
        return *store;
    throw ZIZ_EXCEPTION ("cfg_store", "there is no configuration store");
}
