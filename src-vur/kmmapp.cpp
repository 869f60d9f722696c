#include "src-vur/kmmapp.h"

#include "src-base/core/ZizException.h"
#include "src-base/core/ZizString.h"
#include "src-base/platform/child_process.h"
#include "src-base/platform/crash_deadline.h"
#include "src-base/platform/os_conventions.h"
#include "src-base/platform/quit_request.h"
#include "src-cfg/cfg.h"
#include "src-log/log.h"
#include "src-vur/core/web_fetch_command.h"
#include "src-vur/loadwnd.h"
#include "src-vur/lookandfeel.h"
#include "src-vur/sort_cfg_file.h"
#include "src-wnd/vodaze.h"

#include <VurImages.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <utility>

namespace
{
const char* const product_title = "Dadovir Moisture Meter";

[[noreturn]] void end_process (int status)
{
    std::fflush (stdout);
    std::fflush (stderr);
    std::_Exit (status);
}

// Long enough for a report whose frames are named through DbgHelp, short enough for a mill's restart.
constexpr unsigned crash_report_seconds = 15;

[[noreturn]] void report_crash_and_exit (const char* phrase, const char* function, const char* file, int line, int status)
{
    // The crash may have left the heap or the log locked: the process ends in any case.
    Ziz::sys::startCrashDeadline (crash_report_seconds, status);
    // Each step on its own: a log that cannot be written must not keep the record from being built, which
    // prints its report on standard output.
    const juce::ScopedLock guard (log_lock);
    try
    {
        log_line (phrase);
    }
    catch (...)
    {
    }
    try
    {
        const Ziz::Exception record (function, file, line, phrase);
        log_line (record.report());
    }
    catch (...)
    {
    }
    // The OPC console ends with the monitor in any case; killing it here spares it the time the system takes
    // to notice.
    Ziz::sys::ChildProcess::killChildrenEndingWithParent();
    end_process (status);
}

std::string build_date_text()
{
    // __DATE__ is "Mmm dd yyyy" with the day padded by a space, as the about text wants it.
    return std::string (__DATE__) + " " + __TIME__;
}

std::string build_type_text()
{
    const std::string family = Ziz::sys::operatingSystemFamily();
#if defined(__x86_64__) || defined(_M_X64)
    return family + ", AMD64 build";
#elif defined(__aarch64__) || defined(_M_ARM64)
    return family + ", ARM64 build";
#else
    return family + ", " + std::to_string (sizeof (void*) * 8) + "-bit build";
#endif
}
} // namespace

std::unique_ptr<VODAze> DERIzidirurodo::make_main_window()
{
    VODAze::Actions actions;
    actions.show_about = [this] { run (job_about_window); };
    actions.shut_down = [this] { run (job_shutdown); };
    return std::make_unique<VODAze> (device_prefixes, std::move (actions));
}

DERIzidirurodo& vur()
{
    auto* instance = dynamic_cast<DERIzidirurodo*> (juce::JUCEApplicationBase::getInstance());
    if (instance == nullptr)
        throw Ziz::Exception ("vur", __FILE__, __LINE__, "failed to find an active application pointer");
    return *instance;
}

void VUR_CPlusPlus_Terminate_Handler()
{
    report_crash_and_exit ("terminate handler invoked", "VUR_CPlusPlus_Terminate_Handler", __FILE__, __LINE__, 2);
}

void VUR_Juce_Crash_Handler (void*)
{
    report_crash_and_exit ("crash handler invoked", "VUR_Juce_Crash_Handler", __FILE__, __LINE__, 1);
}

DERIzidirurodo::DERIzidirurodo() = default;

DERIzidirurodo::~DERIzidirurodo()
{
    wnd.reset();
    cfg.reset();
    look_and_feel.reset();
}

const juce::String DERIzidirurodo::getApplicationName() { return product_title; }
const juce::String DERIzidirurodo::getApplicationVersion() { return application_version; }
bool DERIzidirurodo::moreThanOneInstanceAllowed() { return false; }

void DERIzidirurodo::initialise (const juce::String&)
{
    // C++17 has no unexpected-exception hook any more: the terminate handler and the framework's crash
    // handler cover what is left.
    Ziz::sys::prepareCrashDeadline();
    std::set_terminate (VUR_CPlusPlus_Terminate_Handler);
    juce::SystemStats::setApplicationCrashHandler (VUR_Juce_Crash_Handler);
    Ziz::sys::installQuitRequestHandlers ([] {
        juce::MessageManager::callAsync ([] {
            if (auto* app = dynamic_cast<DERIzidirurodo*> (juce::JUCEApplicationBase::getInstance()))
                app->request_quit (QuitRequest::operating_system);
        });
    });

    initialised = true;
    log_line ("starting Dadovir Moisture Measurement");
    run (job_initialize_and_load);

    end_unless_main_window_open();

    started = true;
    if (pending_quit)
        answer_quit_request (*pending_quit);
}

void DERIzidirurodo::request_quit (QuitRequest request)
{
    if (! started)
    {
        if (! pending_quit)
            pending_quit = request;
        return;
    }
    answer_quit_request (request);
}

void DERIzidirurodo::answer_quit_request (QuitRequest request)
{
    if (std::exchange (quit_answered, true))
        return;
    switch (request)
    {
        case QuitRequest::operating_system:
            log_line ("quit requested by the operating system");
            run (job_shutdown);
            break;
        case QuitRequest::download_page:
            quit();
            break;
    }
}

void DERIzidirurodo::shutdown()
{
    // A second start hands its command line to the running instance and is shut down without having
    // started: it leaves the log and the configuration to that instance.
    if (! initialised)
        return;

    log_line ("shutting down Dadovir Moisture Measurement");

    std::string cfgFileName;
    if (cfg != nullptr)
        cfgFileName = cfg->getFile().getFullPathName().toStdString();

    wnd.reset();
    cfg.reset();

    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
    look_and_feel.reset();

    if (! cfgFileName.empty())
        sort_cfg_file (cfgFileName);
}

void DERIzidirurodo::unhandledException (const std::exception* error, const juce::String&, int)
{
    log_and_show_exception (error);
}

const char* DERIzidirurodo::job_name (int job)
{
    switch (job)
    {
        case job_invalid: return "invalid";
        case job_initialize_and_load: return "initialize and load";
        case job_show_first_window: return "show first window";
        case job_about_window: return "about window";
        case job_main_window: return "main window";
        case job_shutdown: return "shutdown";
        case job_no_op: return "no-op";
        default: return "?";
    }
}

void DERIzidirurodo::run (int job)
{
    {
        const juce::ScopedLock guard (log_lock);
        log_line_of ("running job #", job, ": \"", job_name (job), "\"");
    }

    try
    {
        switch (job)
        {
            case job_initialize_and_load:
                run_load_job();
                break;
            case job_show_first_window:
                log_line ("need to invoke the main window");
                run (job_main_window);
                break;
            case job_about_window:
                run_about_job();
                break;
            case job_main_window:
                log_line ("starting the main window");
                wnd.reset();
                wnd = make_main_window();
                break;
            case job_shutdown:
                run_shutdown_job();
                break;
            default:
                break;
        }
    }
    catch (...)
    {
        // Logged only: the system carries on in whatever state the job reached.
        const Ziz::Exception record = caught_exception_record ("DERIzidirurodo::run", __FILE__, __LINE__);
        last_job_failure = record.errorText;
        log_exception (&record);
    }
}

void DERIzidirurodo::run_load_job()
{
    const auto logo = juce::ImageCache::getFromMemory (VurImages::logo_png, VurImages::logo_pngSize);
    auto* splash = new juce::SplashScreen (product_title, logo, false);
    splash->deleteAfterDelay (juce::RelativeTime::seconds (5.0), true);

    look_and_feel.reset();
    look_and_feel = VEVAvevUzaVeri::create();

    cfg.reset();
    if (const auto unsafe = Cfg::unsafe_file_error())
    {
        startup_errors.push_back (*unsafe);
        end_after_startup_errors();
    }
    cfg = std::make_unique<Cfg> (startup_errors);

    LoadWnd load_window;
    // Priority 5 of the old ten-step scale is the framework's normal priority.
    load_window.runThread (juce::Thread::Priority::normal);

    if (! load_window.completed)
        startup_errors.push_back ("Load thread failed to complete.");

    if (! startup_errors.empty())
        end_after_startup_errors();

    run (job_show_first_window);
}

void DERIzidirurodo::end_unless_main_window_open()
{
    // A start-up that failed without a start-up error would leave a process with no window that holds the
    // single-instance lock, so that every later start ends silently: it ends the way start-up errors do.
    if (wnd != nullptr)
        return;
    const std::string reason = last_job_failure.empty() ? std::string() : " (" + last_job_failure + ")";
    startup_errors.push_back ("The main window could not be opened" + reason + ". The log file " + get_log_filename() + " has the details.");
    end_after_startup_errors();
}

void DERIzidirurodo::end_after_startup_errors()
{
    // The box and the exit must come even when the log cannot be written.
    try
    {
        for (const auto& error : startup_errors)
        {
            const juce::ScopedLock guard (log_lock);
            log_line ("Error detected:\n" + error);
        }
    }
    catch (...)
    {
    }

    juce::AlertWindow::showMessageBox (juce::MessageBoxIconType::WarningIcon, product_title,
                                       juce::String::fromUTF8 (startup_errors.front().c_str()), "quit");
    end_process (1);
}

std::string DERIzidirurodo::about_text()
{
    std::string cfgPath;
    try
    {
        if (vur().cfg != nullptr)
            cfgPath = vur().cfg->getFile().getFullPathName().toStdString();
    }
    catch (...)
    {
    }

    using juce::SystemStats;
    std::string text;
    text += std::string ("VUR v") + application_version + "\n";
    text += "\n";
    text += std::string (support_email) + "\n";
    text += std::string (VUR_WEB_BASE_URL_DEFAULT) + "\n";
    text += "\n";
    text += "Built: " + build_date_text() + "\n";
    text += "Type: " + build_type_text() + "\n";
    text += "User: " + SystemStats::getLogonName().toStdString() + "@" + SystemStats::getComputerName().toStdString() + "\n";
    text += std::string ("O/S: ") + (SystemStats::isOperatingSystem64Bit() ? "64-bit " : "32-bit ")
            + SystemStats::getOperatingSystemName().toStdString() + ", " + SystemStats::getUserLanguage().toStdString() + ", "
            + SystemStats::getUserRegion().toStdString() + "\n";
    text += "Log: " + get_log_filename() + "\n";
    text += "Cfg: " + cfgPath + "\n";
    text += "\n";
    text += "Juce: version " + std::to_string (JUCE_MAJOR_VERSION) + "." + std::to_string (JUCE_MINOR_VERSION) + "."
            + std::to_string (JUCE_BUILDNUMBER) + "\n";
    text += "Ravozoz: version " + Ziz::getVersion();
    return text;
}

void DERIzidirurodo::run_about_job()
{
    const std::string text = about_text();
    {
        const juce::ScopedLock guard (log_lock);
        log_line ("About window information:\n" + text);
    }
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::InfoIcon, product_title, juce::String::fromUTF8 (text.c_str()));
}

void DERIzidirurodo::run_shutdown_job()
{
    if (wnd != nullptr)
    {
        wnd->setVisible (false);
        wnd->notebook.signal_pending_shutdown();
    }
    systemRequestedQuit();
}
