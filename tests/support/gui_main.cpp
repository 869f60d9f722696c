#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "test_env.h"

// Windows opened by shell tests need the framework initialised once, on the main thread, as a standalone
// application whose instance the tests make themselves (otherwise the first X error ends the process).
int main (int argc, char** argv)
{
    vurtest::setUpSandbox();
    ::testing::InitGoogleTest (&argc, argv);
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
    int rc = 0;
    {
        juce::ScopedJuceInitialiser_GUI gui;
        rc = RUN_ALL_TESTS();
    }
    vurtest::tearDownSandbox();
    return rc;
}
