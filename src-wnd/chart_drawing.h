#pragma once

// Painting a device chart from its geometry, and writing the picture as a PNG file that readers never find
// half-written. Kept apart from the channel so that the drawing can be checked and timed on its own.

#include "src-wnd/core/chart_geometry.h"

#include <juce_graphics/juce_graphics.h>

#include <functional>
#include <string>
#include <vector>

// Paints the chart laid out by chart_geometry: white background and black frame, then (unless the geometry is
// frame-only) the device name and time, the grid, the bars, the bin labels and the error texts, one per
// error box. should_stop is asked after every bin and before the error texts; once it says stop, nothing
// more is drawn and the result is false (the picture is incomplete and is not to be exported).
bool draw_chart (juce::Graphics& g, const ChartGeometry& geometry, const juce::String& device_name,
                 const juce::String& time_text, const std::vector<std::string>& error_texts,
                 const std::function<bool()>& should_stop = {});

// Writes the image as a PNG file beside the target and puts it in place of the target in one step, so that
// a program reading the target sees either the old picture or the new one. Returns false, leaving the old
// file and no temporary file behind, when any step fails.
bool write_png_replacing (const juce::Image& image, const juce::File& target);
