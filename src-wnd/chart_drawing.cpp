#include "src-wnd/chart_drawing.h"

#include "src-base/juce_text.h"
#include "src-base/platform/atomic_file.h"

namespace
{
juce::Rectangle<float> to_rect (const ChartRect& r) { return { r.x, r.y, r.width, r.height }; }
juce::Rectangle<int> to_rect (const ChartBox& b) { return { b.x, b.y, b.width, b.height }; }

void draw_bar (juce::Graphics& g, const ChartRect& bar, juce::Colour colour)
{
    g.setColour (colour.withAlpha (0.25f));
    g.fillRect (to_rect (bar));
    g.setColour (colour);
    g.drawRect (to_rect (bar), 1.0f);
}
} // namespace

bool draw_chart (juce::Graphics& g, const ChartGeometry& geometry, const juce::String& device_name,
                 const juce::String& time_text, const std::vector<std::string>& error_texts,
                 const std::function<bool()>& should_stop)
{
    const auto stop = [&should_stop] { return should_stop && should_stop(); };

    g.fillAll (juce::Colours::white);
    g.setColour (juce::Colours::black);
    g.drawRect (to_rect (geometry.frame), 1);
    if (geometry.frame_only)
        return true;

    // The box is only 6 pixels high: the texts start at its top and run on below it.
    g.setColour (juce::Colours::lightgrey);
    g.drawText (device_name, to_rect (geometry.title_box), juce::Justification::topLeft, true);
    g.drawText (time_text, to_rect (geometry.title_box), juce::Justification::topRight, true);

    g.setColour (juce::Colours::dimgrey);
    for (const auto& line : geometry.horizontal_grid)
        g.drawRect (to_rect (line), 1.0f);
    for (const auto& line : geometry.vertical_grid)
        g.drawRect (to_rect (line), 1.0f);

    for (const auto& bin : geometry.bins)
    {
        // A nearly opaque white under each bar keeps the grid from showing through it.
        g.setColour (juce::Colours::white.withAlpha (0.85f));
        if (bin.run_bar)
            g.fillRect (to_rect (*bin.run_bar));
        if (bin.pkg_bar)
            g.fillRect (to_rect (*bin.pkg_bar));
        if (bin.run_bar)
            draw_bar (g, *bin.run_bar, juce::Colours::darkorchid);
        if (bin.pkg_bar)
            draw_bar (g, *bin.pkg_bar, juce::Colours::blue);

        if (stop())
            return false;
    }

    g.setColour (juce::Colours::black);
    for (const auto& bin : geometry.bins)
        g.drawText (to_juce (bin.label_text), to_rect (bin.label_box), juce::Justification::centredBottom, true);

    if (geometry.error_boxes.empty())
        return ! stop();
    if (stop())
        return false;
    g.setColour (juce::Colours::red);
    const auto count = std::min (geometry.error_boxes.size(), error_texts.size());
    for (std::size_t i = 0; i < count; ++i)
        g.drawText (to_juce (error_texts[i]), to_rect (geometry.error_boxes[i]), juce::Justification::bottomLeft, true);
    return true;
}

bool write_png_replacing (const juce::Image& image, const juce::File& target)
{
    const auto temporary = target.getSiblingFile (target.getFileName() + ".tmp");
    // A file left by an earlier failed attempt would be appended to.
    if (! temporary.deleteFile())
        return false;

    bool written = false;
    {
        juce::FileOutputStream stream (temporary, 16384);
        written = stream.openedOk() && juce::PNGImageFormat().writeImageToStream (image, stream);
        if (written)
        {
            stream.flush();
            written = stream.getStatus().wasOk();
        }
    }
    if (written && Ziz::sys::replaceFile (temporary.getFullPathName().toStdString(), target.getFullPathName().toStdString()))
        return true;
    temporary.deleteFile();
    return false;
}
