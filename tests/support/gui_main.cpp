#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "test_env.h"

// Windows opened by shell tests need the framework initialised once, on the main thread, with no
// application object of our own.
int main (int argc, char** argv)
{
    vurtest::setUpSandbox();
    ::testing::InitGoogleTest (&argc, argv);
    juce::JUCEApplicationBase::createInstance = nullptr;
    int rc = 0;
    {
        juce::ScopedJuceInitialiser_GUI gui;
        rc = RUN_ALL_TESTS();
    }
    vurtest::tearDownSandbox();
    return rc;
}
