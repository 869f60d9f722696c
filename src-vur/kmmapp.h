#pragma once

// The application object: owns the long-lived objects of the system, installs the crash handlers and drives
// the system through its numbered jobs.

#include "src-vur/core/version_check.h"

#include <juce_gui_extra/juce_gui_extra.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class Cfg;
class VEVAvevUzaVeri;
class VODAze;

class DERIzidirurodo : public juce::JUCEApplication
{
public:
    enum Job
    {
        job_invalid = 0,
        job_initialize_and_load = 1,
        job_show_first_window = 2,
        job_about_window = 3,
        job_main_window = 4,
        job_shutdown = 5,
        job_no_op = 6
    };

    DERIzidirurodo();
    ~DERIzidirurodo() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void unhandledException (const std::exception* error, const juce::String& sourceFile, int lineNumber) override;

    // Runs one job synchronously on the message thread; failures are logged, never thrown.
    void run (int job);

    // The last step of initialise: without a main window the process shows the start-up error box and
    // ends with status 1.
    void end_unless_main_window_open();

    // The main window, one tab per device of device_prefixes, its F1 and close button wired to the about and
    // shutdown jobs. Needs the configuration store.
    std::unique_ptr<VODAze> make_main_window();

    static const char* job_name (int job);
    static std::string about_text();

    // Who asks the system to end through its ordinary shutdown.
    enum class QuitRequest
    {
        operating_system, // SIGTERM and friends: logged, then the shutdown job
        download_page     // the out-of-date box opened the download page: the message loop is quit
    };

    // On the message thread. Start-up runs the progress window's modal loop, which a quit of the message loop
    // leaves waiting forever for a timer that no longer fires: a request that comes during start-up is held
    // and answered once start-up is done. Only the first request is answered.
    void request_quit (QuitRequest request);

    std::unique_ptr<VEVAvevUzaVeri> look_and_feel;
    std::unique_ptr<Cfg> cfg;
    std::unique_ptr<VODAze> wnd;
    std::vector<std::string> startup_errors;
    std::vector<std::string> device_prefixes;

private:
    bool initialised = false;
    bool started = false;        // the start-up job has returned
    std::optional<QuitRequest> pending_quit; // the first quit request that came during start-up
    bool quit_answered = false;
    std::string last_job_failure; // the error text of the last job that failed

    void run_load_job();
    void run_about_job();
    void run_shutdown_job();
    [[noreturn]] void end_after_startup_errors();

    void answer_quit_request (QuitRequest request);
};

// The running application object, from any thread; throws when there is none.
DERIzidirurodo& vur();

// Crash handlers installed by initialise.
void VUR_CPlusPlus_Terminate_Handler();
void VUR_Juce_Crash_Handler (void* crashInfo);
