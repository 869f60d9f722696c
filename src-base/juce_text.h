#pragma once

// The system keeps its texts as UTF-8 in std::string; the framework takes juce::String.

#include <juce_core/juce_core.h>

#include <string>

inline juce::String to_juce (const std::string& text)
{
    return juce::String::fromUTF8 (text.c_str(), static_cast<int> (text.size()));
}
