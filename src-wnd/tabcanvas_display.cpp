// What a device tab shows: the grid of numbers, the chart of both histograms with the error texts, the
// status texts and tooltips, the board-count warning and the exported chart picture.

#include "src-wnd/tabcanvas.h"

#include "src-base/core/ZizString.h"
#include "src-base/core/wall_clock.h"
#include "src-base/juce_text.h"
#include "src-cfg/cfg.h"
#include "src-log/log.h"
#include "src-wnd/chart_drawing.h"
#include "src-wnd/core/board_warning.h"
#include "src-wnd/core/chart_geometry.h"
#include "src-wnd/vodaze.h"

#include <ctime>

namespace
{
void set_up_value (juce::TextEditor& editor)
{
    editor.setReadOnly (true);
    editor.setJustification (juce::Justification::centredRight);
}

void set_up_value (juce::TextEditor& editor, juce::Colour background)
{
    set_up_value (editor);
    editor.setColour (juce::TextEditor::backgroundColourId, background);
}

void set_up_label (juce::Label& label, const char* text)
{
    label.setText (text, juce::dontSendNotification);
    label.setJustificationType (juce::Justification::centredRight);
}
} // namespace

void TabCanvas::build_display()
{
    for (auto [label, value] : { std::pair<juce::Label*, juce::TextEditor*> { &kiln_label, &kiln_value },
                                 { &run_label, &run_value },
                                 { &pkg_label, &pkg_value },
                                 { &run_boards_label, &run_boards_value },
                                 { &run_avg_label, &run_avg_value },
                                 { &run_stdv_label, &run_stdv_value },
                                 { &pkg_boards_label, &pkg_boards_value },
                                 { &pkg_avg_label, &pkg_avg_value },
                                 { &pkg_stdv_label, &pkg_stdv_value } })
    {
        addAndMakeVisible (*label);
        addAndMakeVisible (*value);
    }

    set_up_label (kiln_label, "Kiln:");
    set_up_label (run_label, "Run:");
    set_up_label (pkg_label, "Pkg:");
    for (auto* editor : { &kiln_value, &run_value, &pkg_value })
        set_up_value (*editor);

    set_up_label (run_boards_label, "Boards:");
    set_up_label (run_avg_label, "Avg:");
    set_up_label (run_stdv_label, "StDv:");
    for (auto* editor : { &run_boards_value, &run_avg_value, &run_stdv_value })
        set_up_value (*editor, run_colour);

    set_up_label (pkg_boards_label, "Boards:");
    set_up_label (pkg_avg_label, "Avg:");
    set_up_label (pkg_stdv_label, "StDv:");
    for (auto* editor : { &pkg_boards_value, &pkg_avg_value, &pkg_stdv_value })
        set_up_value (*editor, pkg_colour);

    addAndMakeVisible (run_histogram_label);
    addAndMakeVisible (pkg_histogram_label);
    run_histogram_label.setText ("Run:", juce::dontSendNotification);
    pkg_histogram_label.setText ("Pkg:", juce::dontSendNotification);

    for (std::size_t i = 0; i < number_of_bins; ++i)
    {
        run_histogram[i] = 0;
        pkg_histogram[i] = 0;
        addAndMakeVisible (run_histogram_values[i]);
        addAndMakeVisible (percent_labels[i]);
        addAndMakeVisible (pkg_histogram_values[i]);
        set_up_value (run_histogram_values[i], run_colour);
        set_up_value (pkg_histogram_values[i], pkg_colour);
        set_up_label (percent_labels[i], (std::to_string (i + 8) + "%").c_str());
    }
}

void TabCanvas::resized()
{
    using juce::FlexBox;
    using juce::FlexItem;

    const auto area = getLocalBounds().toFloat().reduced (5.0f);
    const auto bounds = area.withWidth (juce::jmax (0.0f, area.getWidth())).withHeight (juce::jmax (0.0f, area.getHeight()));

    auto first = [] (juce::Component* c) { return (c != nullptr ? FlexItem (*c) : FlexItem()).withWidth (40.0f).withMargin (5.0f); };
    auto cell = [] (juce::Component* c) { return (c != nullptr ? FlexItem (*c) : FlexItem()).withFlex (1.0f).withMargin (5.0f); };
    auto row = [] () {
        FlexBox box;
        box.flexDirection = FlexBox::Direction::row;
        box.justifyContent = FlexBox::JustifyContent::spaceAround;
        return box;
    };

    FlexBox row1 = row();
    row1.items.add (first (&kiln_label));
    for (juce::Component* c : std::initializer_list<juce::Component*> { &kiln_value, &run_label, &run_value, &pkg_label, &pkg_value,
                                                                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                                       &run_boards_label, &run_boards_value, &run_avg_label,
                                                                       &run_avg_value, &run_stdv_label, &run_stdv_value })
        row1.items.add (cell (c));

    FlexBox row2 = row();
    FlexBox row3 = row();
    FlexBox row4 = row();
    row2.items.add (first (&run_histogram_label));
    row3.items.add (first (nullptr));
    row4.items.add (first (&pkg_histogram_label));
    for (std::size_t i = 0; i < number_of_bins; ++i)
    {
        row2.items.add (cell (&run_histogram_values[i]));
        row3.items.add (cell (&percent_labels[i]));
        row4.items.add (cell (&pkg_histogram_values[i]));
    }

    FlexBox row5 = row();
    row5.items.add (first (nullptr));
    for (int i = 0; i < 11; ++i)
        row5.items.add (cell (nullptr));
    for (juce::Component* c : std::initializer_list<juce::Component*> { &pkg_boards_label, &pkg_boards_value, &pkg_avg_label,
                                                                       &pkg_avg_value, &pkg_stdv_label, &pkg_stdv_value })
        row5.items.add (cell (c));

    FlexBox chart_row = row();
    chart_row.items.add (first (nullptr));
    chart_row.items.add (FlexItem (chart).withFlex (2.0f));

    FlexBox outer;
    outer.flexDirection = FlexBox::Direction::column;
    for (auto* box : { &row1, &row2, &row3, &row4, &row5 })
        outer.items.add (FlexItem (*box).withHeight (30.0f));
    outer.items.add (FlexItem (chart_row).withFlex (2.0f).withMargin (5.0f));

    outer.performLayout (bounds);
}

juce::Image TabCanvas::render_chart (int width, int height)
{
    if (threadShouldExit() || ! (is_active_tab || export_image))
        return {};

    // An image cannot be empty; a chart that small is all frame anyway.
    juce::Image image (juce::Image::ARGB, juce::jmax (1, width), juce::jmax (1, height), true);
    juce::Graphics g (image);
    if (width < chart_min_size || height < chart_min_size)
    {
        draw_chart (g, chart_geometry (width, height, {}, {}, 0), {}, {}, {});
        return image;
    }

    const auto name = to_juce (cfg.shown_name (prefix));
    const auto time_text = juce::Time::getCurrentTime().formatted ("%Y-%m-%d %H:%M:%S");

    std::vector<std::string> errors;
    if (window_errors != nullptr)
        errors = *window_errors;

    // The reading thread waits while the chart is drawn and written, so the picture is of one moment.
    const juce::ScopedLock guard (lock);
    errors.insert (errors.end(), error_messages.begin(), error_messages.end());
    for (const auto& standing : standing_errors)
        errors.push_back (standing.second);
    const ChartGeometry geometry = chart_geometry (width, height, run_histogram, pkg_histogram, errors.size());
    const bool complete = draw_chart (g, geometry, name, time_text, errors, [this] { return threadShouldExit(); });

    if (complete && export_image && ! threadShouldExit())
        export_chart (image);

    return image;
}

void TabCanvas::export_chart (const juce::Image& image)
{
    // Outside programs read this picture while it is being replaced: it is written beside its final name and
    // put in place in one step, so that a reader never finds it half-written or missing. Failures stay
    // silent; the next refresh tries again.
    const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory);
    write_png_replacing (image, folder.getChildFile (to_juce (prefix + "_chart.png")));
}

void TabCanvas::update_status()
{
    if (! threadShouldExit())
        update_deviations();

    // One consistent copy of the figures: the reading thread adds boards meanwhile.
    Histogram run_bins {}, pkg_bins {};
    std::size_t run_count = 0, pkg_count = 0;
    double run_avg = 0, pkg_avg = 0, run_dev = 0, pkg_dev = 0;
    std::int64_t boards_time = 0;
    {
        const juce::ScopedLock guard (lock);
        boards_time = boards_changed_time;
        run_bins = run_histogram;
        pkg_bins = pkg_histogram;
        run_count = run_values.size();
        pkg_count = pkg_values.size();
        run_avg = run_average;
        pkg_avg = pkg_average;
        run_dev = run_stddev;
        pkg_dev = pkg_stddev;
    }

    for (std::size_t i = 0; i < number_of_bins; ++i)
    {
        run_histogram_values[i].setText (juce::String (run_bins[i]));
        pkg_histogram_values[i].setText (juce::String (pkg_bins[i]));
    }

    if (! threadShouldExit())
    {
        run_boards_value.setText (juce::String (run_count));
        pkg_boards_value.setText (juce::String (pkg_count));
        run_avg_value.setText (to_juce (Ziz::formatFixed (run_avg, 2)));
        pkg_avg_value.setText (to_juce (Ziz::formatFixed (pkg_avg, 2)));
        run_stdv_value.setText (to_juce (Ziz::formatFixed (run_dev, 2)));
        pkg_stdv_value.setText (to_juce (Ziz::formatFixed (pkg_dev, 2)));
    }

    if (! threadShouldExit() && (is_active_tab || export_image))
    {
        chart.setImage (render_chart (chart.getWidth(), chart.getHeight()));

        percent_labels[number_of_bins - 1].setTooltip (to_juce ("VUR started " + Ziz::formatAge (started_time)));
        const auto kiln_tip = to_juce ("the kiln was last updated " + Ziz::formatAge (kiln_changed_time));
        kiln_label.setTooltip (kiln_tip);
        kiln_value.setTooltip (kiln_tip);
        const auto run_tip = to_juce ("the run was last updated " + Ziz::formatAge (run_changed_time));
        run_label.setTooltip (run_tip);
        run_value.setTooltip (run_tip);
        const auto pkg_tip = to_juce ("the package was last updated " + Ziz::formatAge (pkg_changed_time));
        pkg_label.setTooltip (pkg_tip);
        pkg_value.setTooltip (pkg_tip);
        const auto boards_tip = to_juce ("the number of boards was last updated " + Ziz::formatAge (boards_time));
        run_boards_label.setTooltip (boards_tip);
        run_boards_value.setTooltip (boards_tip);
    }

    check_board_count_warning();
}

void TabCanvas::check_board_count_warning()
{
    if (warning_showing)
        return;

    if (! cfg.get_bool ("warn_if_package_contains_too_many_boards", true))
        return;

    std::uint64_t n = 0;
    {
        const juce::ScopedLock guard (lock);
        n = pkg_values.size();
    }
    if (! board_count_warrants_warning (n, cfg.get_int ("warn_board_threshold"), last_warning_board_count))
        return;

    const auto now = now_seconds();
    if (! warning_interval_passed (now, last_warning_time, cfg.get_int ("warn_seconds_between_warnings")))
        return;

    const auto time = juce::Time::getCurrentTime();
    const std::string name = cfg.shown_name (prefix);
    const std::string message = warning_message (name, run_value.getText().toStdString(), pkg_value.getText().toStdString(), n,
                                                 time.formatted ("%Y-%b-%d").toStdString(), time.formatted ("%H:%M:%S").toStdString());
    log_line ("prefix=" + prefix + ": " + message);

    warning_showing = true;
    last_warning_board_count = n;

    // The box may outlive the channel (it can be open at shutdown): the callback only touches a channel
    // that still exists.
    juce::WeakReference<TabCanvas> self (this);
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, to_juce (warning_title (name)), to_juce (message), {},
                                            nullptr, juce::ModalCallbackFunction::create ([self] (int) {
                                                if (auto* channel = self.get())
                                                {
                                                    channel->warning_showing = false;
                                                    channel->last_warning_time = now_seconds();
                                                }
                                            }));
}
