// What a device tab shows: the grid of numbers, the chart of both histograms with the error texts, the
// status texts and tooltips, the board-count warning and the exported chart picture.

#include "src-wnd/tabcanvas.h"
#include "src-wnd/thread_contract.h"

#include "src-base/core/ZizString.h"
#include "src-base/core/wall_clock.h"
#include "src-base/juce_text.h"
#include "src-cfg/cfg.h"
#include "src-log/log.h"
#include "src-wnd/chart_drawing.h"
#include "src-wnd/core/board_warning.h"
#include "src-wnd/core/chart_geometry.h"
#include "src-wnd/quality_drawing.h"
#include "src-wnd/read_only_editor.h"
#include "src-wnd/vodaze.h"

#include <ctime>

namespace
{
void set_up_value (juce::TextEditor& editor)
{
    editor.setReadOnly (true);
    editor.setJustification (juce::Justification::centredRight);
    leave_desktop_mouse_watch (editor);
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
        state.run_histogram[i] = 0;
        state.pkg_histogram[i] = 0;
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
    VUR_ON_MESSAGE_THREAD();
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

TabCanvas::ChartContent TabCanvas::chart_content (int width, int height) const
{
    ChartContent content;
    content.width = width;
    content.height = height;
    content.name = cfg.shown_name (prefix);
    if (window_errors != nullptr)
        content.errors = *window_errors;

    // A copy of one moment: the picture is consistent, and the reading thread does not wait for the drawing.
    // The boards themselves are copied only for the quality figures and the trend.
    const bool quality_wanted = cfg.get_bool (prefix + "_show_quality", false) || cfg.get_bool (prefix + "_show_trend", false);
    const ChannelFigures now = figures (quality_wanted ? BoardValues::included : BoardValues::left_out);
    content.errors.insert (content.errors.end(), now.error_messages.begin(), now.error_messages.end());
    for (const auto& standing : now.standing_errors)
        content.errors.push_back (standing.second);
    content.run_histogram = now.run_histogram;
    content.pkg_histogram = now.pkg_histogram;
    if (quality_wanted)
        content.quality = quality_view_of (prefix, now.run_values, now.pkg_values);
    return content;
}

bool TabCanvas::paint_chart (juce::Graphics& g, const ChartContent& content, const juce::String& time_text)
{
    const QualityLayout layout = quality_layout (content.quality, content.width, content.height);
    const ChartGeometry geometry = chart_geometry (content.width, layout.histogram_height, content.run_histogram,
                                                   content.pkg_histogram, content.errors.size());
    const bool complete = draw_chart (g, geometry, to_juce (content.name), time_text, content.errors, [this] { return threadShouldExit(); });
    if (complete && content.quality.shows_anything())
        draw_quality (g, content.quality, layout);
    return complete;
}

juce::Image TabCanvas::render_chart (int width, int height)
{
    VUR_ON_MESSAGE_THREAD();
    if (threadShouldExit() || ! (is_active_tab || export_image))
        return {};

    if (width < chart_min_size || height < chart_min_size)
    {
        // An image cannot be empty; a chart that small is all frame anyway.
        juce::Image image (juce::Image::ARGB, juce::jmax (1, width), juce::jmax (1, height), true);
        juce::Graphics g (image);
        draw_chart (g, chart_geometry (width, height, {}, {}, 0), {}, {}, {});
        return image;
    }

    bool complete = false;
    return render_content (chart_content (width, height), complete);
}

juce::Image TabCanvas::render_content (const ChartContent& content, bool& complete)
{
    juce::Image image (juce::Image::ARGB, content.width, content.height, true);
    {
        juce::Graphics g (image);
        complete = paint_chart (g, content, chart_time_text());
    }
    if (complete && export_image && ! threadShouldExit())
        export_chart (image);
    return image;
}

juce::String TabCanvas::chart_time_text()
{
    return juce::Time::getCurrentTime().formatted ("%Y-%m-%d %H:%M:%S");
}

void TabCanvas::refresh_chart()
{
    const int width = chart.getWidth();
    const int height = chart.getHeight();
    if (threadShouldExit() || width < chart_min_size || height < chart_min_size)
    {
        chart_image = render_chart (width, height);
        chart.setImage (chart_image);
        shown_chart.reset();
        return;
    }

    // Taken once: the picture and what it is remembered to show are of the same moment, so that a board
    // that arrives meanwhile is drawn at the next refresh.
    const ChartContent content = chart_content (width, height);

    // A shown chart whose content has not changed differs from a new one only by its clock. Then only the
    // band with the clock is drawn again, into the picture on the screen, with the very same drawing clipped
    // to that band: the pixels are those of a whole new picture, at a small part of the cost. A picture
    // that is also exported is drawn whole.
    if (! export_image && shown_chart && chart_image.isValid() && content == *shown_chart)
    {
        const ChartGeometry geometry = chart_geometry (width, height, content.run_histogram, content.pkg_histogram,
                                                       content.errors.size());
        const auto band = juce::Rectangle<int> (0, 0, width, geometry.title_box.y + clock_band_height);
        {
            juce::Graphics g (chart_image);
            g.reduceClipRegion (band);
            if (! paint_chart (g, content, chart_time_text()))
                shown_chart.reset(); // interrupted: drawn whole next time
        }
        chart.repaint (band);
        return;
    }

    bool complete = false;
    chart_image = render_content (content, complete);
    chart.setImage (chart_image);
    if (complete)
        shown_chart = content;
    else
        shown_chart.reset();
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
    VUR_ON_MESSAGE_THREAD();
    if (! threadShouldExit())
        update_deviations();
    show_history_failure();

    // One consistent copy of the figures: the reading thread adds boards meanwhile.
    const ChannelFigures now = figures();

    for (std::size_t i = 0; i < number_of_bins; ++i)
    {
        run_histogram_values[i].setText (juce::String (now.run_histogram[i]));
        pkg_histogram_values[i].setText (juce::String (now.pkg_histogram[i]));
    }

    if (! threadShouldExit())
    {
        run_boards_value.setText (juce::String (now.run_count));
        pkg_boards_value.setText (juce::String (now.pkg_count));
        run_avg_value.setText (to_juce (Ziz::formatFixed (now.run_average, 2)));
        pkg_avg_value.setText (to_juce (Ziz::formatFixed (now.pkg_average, 2)));
        run_stdv_value.setText (to_juce (Ziz::formatFixed (now.run_stddev, 2)));
        pkg_stdv_value.setText (to_juce (Ziz::formatFixed (now.pkg_stddev, 2)));
    }

    if (! threadShouldExit() && (is_active_tab || export_image))
    {
        refresh_chart();

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
        const auto boards_tip = to_juce ("the number of boards was last updated " + Ziz::formatAge (now.boards_changed_time));
        run_boards_label.setTooltip (boards_tip);
        run_boards_value.setTooltip (boards_tip);
    }

    check_board_count_warning (now.pkg_count);
}

void TabCanvas::check_board_count_warning (std::uint64_t n)
{
    // Read in this order, so that a disabled warning never looks at its other settings.
    if (warning.warning_showing || ! cfg.get_bool ("warn_if_package_contains_too_many_boards", true))
        return;
    if (! warning.check (true, n, cfg.get_int ("warn_board_threshold"), cfg.get_int ("warn_seconds_between_warnings"), now_seconds()))
        return;

    const auto time = juce::Time::getCurrentTime();
    const std::string name = cfg.shown_name (prefix);
    const std::string message = warning_message (name, run_value.getText().toStdString(), pkg_value.getText().toStdString(), n,
                                                 time.formatted ("%Y-%b-%d").toStdString(), time.formatted ("%H:%M:%S").toStdString());
    log_line ("prefix=" + prefix + ": " + message);

    // The box may outlive the channel (it can be open at shutdown): the callback only touches a channel
    // that still exists.
    juce::WeakReference<TabCanvas> self (this);
    juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, to_juce (warning_title (name)), to_juce (message), {},
                                            nullptr, juce::ModalCallbackFunction::create ([self] (int) {
                                                if (auto* channel = self.get())
                                                    channel->warning.closed (now_seconds());
                                            }));
}
