#include "src-vur/loadwnd.h"

#include "src-base/core/ZizString.h"
#include "src-cfg/cfg.h"
#include "src-log/log.h"
#include "src-vur/core/load_progress.h"
#include "src-vur/core/motd_text.h"
#include "src-vur/core/version_check.h"
#include "src-vur/core/web_fetch_command.h"
#include "src-vur/webfetch.h"
#include "src-vur/kmmapp.h"

#include <VurImages.h>

LoadWnd::LoadWnd()
    : juce::ThreadWithProgressWindow ("VUR", true, false, 10000, {}, nullptr),
      progress ([] { return vur().cfg->getIntValue ("number_of_items_to_load", 100); })
{
    // Below the splash screen's logo, so that both can be seen.
    if (auto* window = getAlertWindow())
    {
        const auto logo = juce::ImageCache::getFromMemory (VurImages::logo_png, VurImages::logo_pngSize);
        window->setTopLeftPosition (window->getX(), window->getY() + logo.getHeight() + 25);
    }
}

LoadWnd::~LoadWnd() = default;

void LoadWnd::run()
{
    try
    {
        run_sequence();
    }
    catch (...)
    {
        Ziz::Exception record = caught_exception_record ("LoadWnd::run", "src-vur\\loadwnd", __LINE__);
        log_and_show_exception (&record);
        record.reportPending = false;
        // The framework's thread ends quietly on it; completed stays false.
        throw record;
    }
}

void LoadWnd::run_sequence()
{
    auto& app = vur();

    update_progress (5, "Starting...");
    if (app.startup_errors.empty())
        get_version_number();
    if (app.startup_errors.empty())
        get_motd();
    if (app.startup_errors.empty())
        discover_devices();
    if (app.startup_errors.empty())
        set_device_defaults();
    if (! app.startup_errors.empty())
        return;

    update_progress (1, pick_status_message());
    for (int i = 0; i < 10; ++i)
    {
        update_progress (1, "");
        juce::Thread::sleep (100);
    }

    if (const auto total = progress.total_to_store())
        app.cfg->setValue ("number_of_items_to_load", *total);

    completed = true;
}

void LoadWnd::update_progress (double units, const std::string& status)
{
    if (! status.empty())
    {
        log_line ("loading: " + status);
        setStatusMessage (juce::String::fromUTF8 (status.c_str()));
    }

    log_line (progress.add_units (units));
    setProgress (progress.ratio());
}

std::string LoadWnd::pick_status_message()
{
    juce::Random random;
    random.setSeedRandomly();
    const float draw = random.nextFloat();
    return ::pick_status_message (draw, draw >= 0.9f ? random.nextInt (static_cast<int> (humorous_status_messages.size())) : 0);
}

void LoadWnd::discover_devices()
{
    auto& app = vur();
    auto& cfg = *app.cfg;

    update_progress (1, "Looking for devices...");
    app.device_prefixes.clear();

    for (const auto& key : cfg.get_keys())
    {
        update_progress (1, "");
        static const std::string suffix = "_device";
        if (key.size() >= suffix.size() && key.compare (key.size() - suffix.size(), suffix.size(), suffix) == 0)
        {
            const std::string prefix = key.substr (0, key.size() - suffix.size());
            log_line ("found device with key=" + key + ", prefix=" + prefix);
            app.device_prefixes.push_back (prefix);
        }
    }

    if (app.device_prefixes.empty())
    {
        cfg.set_str ("a_device", "com4");
        cfg.set_str ("b_device", "com5");
        cfg.set_str ("c_device", "com6");
        cfg.set_str ("d_device", "com7");
        cfg.set_str ("a_name", "Planer #1");
        cfg.set_str ("b_name", "Planer #2");
        cfg.set_str ("c_name", "Moulder");
        cfg.set_str ("d_name", "Spare");
        app.device_prefixes = { "a", "b", "c", "d" };
    }
}

void LoadWnd::set_device_defaults()
{
    auto& app = vur();
    auto& cfg = *app.cfg;

    for (const auto& prefix : app.device_prefixes)
    {
        update_progress (1, "Verifying...");
        cfg.set_device_defaults (prefix);
    }
}

void LoadWnd::get_version_number()
{
    if (! vur().cfg->get_bool ("get_version_number", true))
        return;

    update_progress (10, "Verifying client version number...");
    const std::string address = web_base_url() + download_listing_path;
    log_line ("getting download information from " + address);

    const ListedVersion listed = find_listed_version (fetch_url (address));
    if (listed.overlong_length != 0)
        log_line ("ignoring a version of " + std::to_string (listed.overlong_length) + " characters in the download listing");
    const std::string& most_recent = listed.version;
    if (most_recent.empty())
        return;

    log_line (std::string ("current version=") + application_version + ", most recent version=" + most_recent);
    if (! is_newer_version (most_recent, application_version))
        return;

    const juce::String box_text = juce::String ("You are using version ") + application_version + " but the newer version "
                                 + juce::String (most_recent) + " is available for download.\n\nOpen the download page?";
    // The box may be answered after the load window has gone: the callback keeps its own copy of the address.
    juce::AlertWindow::showOkCancelBox (juce::MessageBoxIconType::InfoIcon, "This version is out of date!", box_text, {}, {}, nullptr,
                                        juce::ModalCallbackFunction::create ([address] (int result) {
                                            if (result != 0)
                                            {
                                                log_line ("opening download page " + address);
                                                juce::URL (juce::String (address)).launchInDefaultBrowser();
                                                log_line ("exiting since the download page has been opened");
                                                // The box may be answered while the progress window's loop still
                                                // runs: the application holds the quit until start-up is done.
                                                if (auto* app = dynamic_cast<DERIzidirurodo*> (juce::JUCEApplicationBase::getInstance()))
                                                    app->request_quit (DERIzidirurodo::QuitRequest::download_page);
                                                else
                                                    juce::JUCEApplicationBase::quit();
                                            }
                                            else
                                            {
                                                log_line ("do not open the download page " + address);
                                            }
                                        }));
}

void LoadWnd::get_motd()
{
    if (! vur().cfg->get_bool ("get_motd", true))
        return;

    update_progress (10, "Getting ready...");
    std::string motd = Ziz::trim (fetch_url (web_base_url() + motd_path));
    if (motd.empty())
    {
        update_progress (10, "");
        motd = Ziz::trim (fetch_url (web_base_url() + motd_second_path));
        if (motd.empty())
            return;
    }

    motd = motd_text (motd);
    log_line ("MOTD: " + motd);
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::InfoIcon, "Dadovir Moisture Meter",
                                            juce::String::fromUTF8 (motd.c_str(), static_cast<int> (motd.size())));
}
