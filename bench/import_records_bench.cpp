// How long a device channel holds the message thread (and, while it rebuilds its buckets, its reading thread)
// when it imports a worst-case run: 999 package files of 1500 boards, log lines included. Measured on a real
// channel, through import_records and through a whole package change (flush, reset, import). Only an
// optimised build (CMAKE_BUILD_TYPE=Release) gives meaningful figures.
//
// Runs in a temporary folder of its own (configuration, log, records), removed at the end.

#include "src-base/platform/os_conventions.h"
#include "src-cfg/cfg.h"
#include "src-vur/kmmapp.h"
#include "src-vur/lookandfeel.h"
#include "src-wnd/core/board_stats.h"
#include "src-wnd/core/record_format.h"
#include "src-wnd/tabcanvas.h"

#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace
{
using vurbench::boards_per_package;
using vurbench::current_pkg;
using vurbench::kiln;
using vurbench::run;

std::string folder;
TabCanvas* canvas = nullptr;

void truncate_log()
{
    std::error_code ignored;
    fs::resize_file (folder + "/tmp/vur.log", 0, ignored);
}

void BM_ImportRecords (benchmark::State& state)
{
    for (auto _ : state)
    {
        canvas->change ([] (ChannelState& channel) {
            channel.run_bucket.reset();
            channel.pkg_bucket.reset();
        });
        canvas->import_records();
        state.PauseTiming();
        const ChannelFigures figures = canvas->figures();
        if (figures.run_count != 999u * boards_per_package || figures.pkg_count != boards_per_package)
            state.SkipWithError ("import lost boards");
        truncate_log();
        state.ResumeTiming();
    }
}
BENCHMARK (BM_ImportRecords)->Unit (benchmark::kMillisecond)->UseRealTime()->Iterations (3)->Repetitions (3);

// A change of package away from and back to the run's current package: each flushes the package and the
// summary, resets both buckets and imports the run again.
void BM_PackageChange (benchmark::State& state)
{
    for (auto _ : state)
    {
        canvas->pending_pkg = canvas->figures().current_pkg == current_pkg ? current_pkg + 1 : current_pkg;
        canvas->apply_kiln_run_pkg_change();
        state.PauseTiming();
        truncate_log();
        state.ResumeTiming();
    }
}
BENCHMARK (BM_PackageChange)->Unit (benchmark::kMillisecond)->UseRealTime()->Iterations (2)->Repetitions (3);
} // namespace

int main (int argc, char** argv)
{
    benchmark::Initialize (&argc, argv);
    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;

    folder = (fs::temp_directory_path() / ("vur-import-records-bench-" + std::to_string (std::random_device {}()))).string();
    for (const char* sub : { "/tmp", "/home", "/cfg" })
        fs::create_directories (folder + sub);
    setenv ("TMPDIR", (folder + "/tmp").c_str(), 1);
    setenv ("HOME", (folder + "/home").c_str(), 1);
    setenv ("VUR_CONFIG_DIR", (folder + "/cfg").c_str(), 1);

    const int year = Ziz::sys::localTime (std::time (nullptr)).tm_year + 1900;
    vurbench::write_run_files (folder + "/records/" + std::to_string (year));

    {
        juce::ScopedJuceInitialiser_GUI gui;
        auto app = std::make_unique<DERIzidirurodo>();
        app->look_and_feel = VEVAvevUzaVeri::create();
        app->cfg = std::make_unique<Cfg> (app->startup_errors);
        auto& cfg = *app->cfg;
        cfg.set_str ("output_directory", folder + "/records/%Y/");
        cfg.set_str ("a_device", folder + "/no-such-port");
        cfg.set_str ("a_name", "Bench meter");
        cfg.set_str ("a_chart_redraw_ms", "0");
        cfg.set_str ("a_last_kiln", std::to_string (kiln));
        cfg.set_str ("a_last_run", std::to_string (run));
        cfg.set_str ("a_last_pkg", std::to_string (current_pkg));
        cfg.set_device_defaults ("a");

        {
            auto channel = std::make_unique<TabCanvas> ("a");
            canvas = channel.get();
            truncate_log();
            benchmark::RunSpecifiedBenchmarks();
            canvas = nullptr;
        }
        app->cfg.reset();
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
        app->look_and_feel.reset();
    }
    benchmark::Shutdown();
#ifndef NDEBUG
    std::printf ("built without NDEBUG: an unoptimised build, the figures above are not meaningful\n");
#endif
    std::error_code ignored;
    fs::remove_all (folder, ignored);
    return 0;
}
