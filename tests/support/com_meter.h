#pragma once

// A meter on two COM ports joined back to back, for the tests on Windows: the code under test opens the
// meter's port (path), the test plays the meter on the far end. Under Wine, tests/win/run-suite.sh joins two
// pseudo-terminals for each pair and maps them in Wine's port table; VUR_TEST_METER_PORTS lists the pairs,
// "PORT:FAR-END" separated by spaces (names past COM9 in the \\.\COMnn form).
//
// Test programs run side by side, and a test may need several meters: each meter takes a pair that no other
// meter holds, marked by a named mutex that the system also lets go of when a test program ends however it
// ends. The far end is closed and the mutex released with the object, also when a failed assertion leaves a
// test early.

#ifdef _WIN32

#include <string>

namespace vurtest
{
class ComMeter
{
public:
    ComMeter();
    ~ComMeter();

    ComMeter (const ComMeter&) = delete;
    ComMeter& operator= (const ComMeter&) = delete;

    // Whether a pair was taken and its far end opened; path is empty when not, and problem says why.
    bool is_open() const { return ! path.empty(); }

    // Writes all of text, as the meter sends it; false when the line took less.
    bool send (const std::string& text) const;

    std::string path;
    std::string problem;

private:
    // Drops whatever the line still holds towards the meter's port from an earlier user of the pair.
    void drain_port() const;
    void release();

    void* far_end = nullptr;
    void* claim = nullptr;
};
} // namespace vurtest

#endif // _WIN32
