// Drawing a 1280 x 720 device chart and exporting it as a PNG file, against a bare PNG encode of the same
// picture into memory. Prints both times and their ratio at the end (goal <= 1.5): the best of five
// repetitions each, since the machine is shared. Only an optimised build (CMAKE_BUILD_TYPE=Release) gives
// meaningful figures.

#include "src-wnd/chart_drawing.h"
#include "src-wnd/core/chart_geometry.h"

#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace
{
constexpr int width = 1280;
constexpr int height = 720;

// A busy chart: a run of a few thousand boards, a package of a few hundred, and three error texts.
struct ChartContent
{
    ChartHistogram run {};
    ChartHistogram pkg {};
    std::vector<std::string> errors { "Failed to start the OPC console application.", "OPC Console has failed.",
                                      "failed to open serial port /dev/ttyS4: No such file or directory" };

    ChartContent()
    {
        std::mt19937 random (42);
        std::normal_distribution<double> moisture (14.0, 2.5);
        for (int i = 0; i < 4000; ++i)
        {
            const int bin = std::clamp (static_cast<int> (moisture (random)) - 8, 0, chart_bin_count - 1);
            ++run[static_cast<std::size_t> (bin)];
            if (i % 10 == 0)
                ++pkg[static_cast<std::size_t> (bin)];
        }
    }
};

const ChartContent& content()
{
    static const ChartContent c;
    return c;
}

juce::Image render()
{
    juce::Image image (juce::Image::ARGB, width, height, true);
    juce::Graphics g (image);
    const auto& c = content();
    draw_chart (g, chart_geometry (width, height, c.run, c.pkg, c.errors.size()), "Planer #1",
                juce::Time::getCurrentTime().formatted ("%Y-%m-%d %H:%M:%S"), c.errors, [] { return false; });
    return image;
}

juce::File export_folder()
{
    static const juce::File folder = [] {
        auto f = juce::File::createTempFile ("chart-bench");
        f.createDirectory();
        return f;
    }();
    return folder;
}

void BM_BarePngEncode (benchmark::State& state)
{
    const juce::Image image = render();
    for (auto _ : state)
    {
        juce::MemoryOutputStream stream;
        juce::PNGImageFormat().writeImageToStream (image, stream);
        benchmark::DoNotOptimize (stream.getData());
    }
}
BENCHMARK (BM_BarePngEncode)->Unit (benchmark::kMillisecond)->UseRealTime()->MinTime (0.5)->Repetitions (5);

void BM_RenderAndExport (benchmark::State& state)
{
    const juce::File target = export_folder().getChildFile ("a_chart.png");
    for (auto _ : state)
    {
        const juce::Image image = render();
        if (! write_png_replacing (image, target))
            state.SkipWithError ("export failed");
    }
}
BENCHMARK (BM_RenderAndExport)->Unit (benchmark::kMillisecond)->UseRealTime()->MinTime (0.5)->Repetitions (5);

// The drawing alone, for the record.
void BM_RenderOnly (benchmark::State& state)
{
    for (auto _ : state)
    {
        const juce::Image image = render();
        benchmark::DoNotOptimize (image.getPixelData());
    }
}
BENCHMARK (BM_RenderOnly)->Unit (benchmark::kMillisecond)->UseRealTime()->MinTime (0.5)->Repetitions (5);

} // namespace

int main (int argc, char** argv)
{
    benchmark::Initialize (&argc, argv);
    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;
    vurbench::BestTimeReporter reporter;
    {
        // Text needs the framework's fonts.
        juce::ScopedJuceInitialiser_GUI gui;
        benchmark::RunSpecifiedBenchmarks (&reporter);
        export_folder().deleteRecursively();
    }
    benchmark::Shutdown();

    const auto& best = reporter.best;
    const auto bare = best.find ("BM_BarePngEncode");
    const auto full = best.find ("BM_RenderAndExport");
    if (bare == best.end() || full == best.end() || bare->second <= 0)
        return 0;
    std::printf ("bare PNG encode of a %d x %d chart: %.2f ms\n", width, height, bare->second);
    std::printf ("render and export: %.2f ms, ratio %.2f (goal <= 1.5)\n", full->second, full->second / bare->second);
#ifndef NDEBUG
    std::printf ("built without NDEBUG: an unoptimised build, the figures above are not meaningful\n");
#endif
    return 0;
}
