// The chart picture that exporting devices write into the temporary folder at every refresh.

#include "device_tab_fixture.h"

#include <filesystem>

namespace
{
namespace fs = std::filesystem;
using ChartExport = vurtest::DeviceTabFixture;

std::string png_signature() { return std::string ("\x89PNG\r\n\x1a\n", 8); }

// The file holds exactly one whole PNG picture of the given size.
::testing::AssertionResult one_png_of_size (const std::string& path, int w, int h)
{
    const std::string bytes = vurtest::readFile (path);
    std::size_t signatures = 0;
    for (auto at = bytes.find (png_signature()); at != std::string::npos; at = bytes.find (png_signature(), at + 1))
        ++signatures;
    if (bytes.compare (0, 8, png_signature()) != 0 || signatures != 1)
        return ::testing::AssertionFailure() << path << " does not hold one PNG (" << signatures << " signatures, " << bytes.size() << " bytes)";
    // A PNG ends with its IEND chunk, whose checksum is fixed.
    if (bytes.size() < 12 || bytes.compare (bytes.size() - 12, 12, std::string ("\0\0\0\0IEND\xae\x42\x60\x82", 12)) != 0)
        return ::testing::AssertionFailure() << path << " does not end with the picture";
    const juce::Image image = juce::ImageFileFormat::loadFrom (bytes.data(), bytes.size());
    if (! image.isValid() || image.getWidth() != w || image.getHeight() != h)
        return ::testing::AssertionFailure() << path << " decodes to " << image.getWidth() << "x" << image.getHeight();
    return ::testing::AssertionSuccess();
}

std::vector<std::string> files_in (const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator (dir))
        names.push_back (entry.path().filename().string());
    std::sort (names.begin(), names.end());
    return names;
}

TEST_F (ChartExport, ExportingDeviceReplacesItsPictureAtEveryRefreshEvenWhenHidden)
{
    TabCanvas& canvas = make_canvas ("a", "Planer", true);
    canvas.setBounds (0, 0, 800, 500);   // the chart becomes 730 x 330
    const std::string path = tmp_dir + "/a_chart.png";
    // Larger than any chart picture, and left over by an earlier failed write.
    vurtest::writeFile (path, std::string (400000, 'x'));
    vurtest::writeFile (path + ".tmp", std::string (400000, 'y'));

    ASSERT_FALSE (canvas.is_active_tab);
    canvas.update_status();
    EXPECT_TRUE (one_png_of_size (path, 730, 330));
    EXPECT_EQ (canvas.chart.getImage().getWidth(), 730);

    add_boards (canvas, { { 12.0, 40 }, { 15.0, 10 } });
    canvas.setBounds (0, 0, 600, 400);
    canvas.update_status();
    EXPECT_TRUE (one_png_of_size (path, 530, 230));
    // The picture on disk is the one the tab shows.
    const std::string bytes = vurtest::readFile (path);
    const juce::Image written = juce::ImageFileFormat::loadFrom (bytes.data(), bytes.size());
    const juce::Image shown = canvas.chart.getImage();
    int different = 0;
    for (int y = 0; y < 230; ++y)
        for (int x = 0; x < 530; ++x)
            different += written.getPixelAt (x, y) == shown.getPixelAt (x, y) ? 0 : 1;
    EXPECT_EQ (different, 0);

    EXPECT_EQ (files_in (tmp_dir), (std::vector<std::string> { "a_chart.png", "vur.log" }));
}

TEST_F (ChartExport, NothingIsWrittenWithoutTheSwitchOrBeforeTheTabIsLaidOut)
{
    TabCanvas& quiet = make_canvas ("a", "Planer", false);
    quiet.is_active_tab = true;
    quiet.setBounds (0, 0, 800, 500);
    quiet.update_status();
    EXPECT_TRUE (quiet.chart.getImage().isValid());

    // Never laid out: its chart is 0 x 0, so every picture is frame-only and stays unwritten.
    TabCanvas& unsized = make_canvas ("b", "Moulder", true);
    unsized.update_status();
    unsized.is_active_tab = true;
    unsized.update_status();

    EXPECT_EQ (files_in (tmp_dir), (std::vector<std::string> { "vur.log" }));
}

TEST_F (ChartExport, EachDeviceWritesItsOwnFile)
{
    TabCanvas& a = make_canvas ("a", "Planer", true);
    TabCanvas& b = make_canvas ("b", "Moulder", true);
    a.setBounds (0, 0, 400, 300);
    b.setBounds (0, 0, 500, 350);
    a.update_status();
    b.update_status();
    EXPECT_TRUE (one_png_of_size (tmp_dir + "/a_chart.png", 330, 130));
    EXPECT_TRUE (one_png_of_size (tmp_dir + "/b_chart.png", 430, 180));
    EXPECT_EQ (files_in (tmp_dir), (std::vector<std::string> { "a_chart.png", "b_chart.png", "vur.log" }));
}

// A picture that cannot be put in place changes nothing on screen, says nothing and leaves no file behind.
TEST_F (ChartExport, FailedWriteIsSilentAndLeavesNoTemporaryFile)
{
    TabCanvas& canvas = make_canvas ("a", "Planer", true);
    canvas.setBounds (0, 0, 400, 300);
    fs::create_directories (tmp_dir + "/a_chart.png/in-the-way");
    const std::string log_before = log_text();

    canvas.update_status();
    EXPECT_EQ (canvas.chart.getImage().getWidth(), 330);
    // The device thread may log meanwhile; the channel itself says nothing.
    const std::string logged = log_text().substr (log_before.size());
    EXPECT_EQ (logged.find ("prefix=a:"), std::string::npos) << logged;
    EXPECT_EQ (logged.find ("_chart.png"), std::string::npos) << logged;
    EXPECT_EQ (files_in (tmp_dir), (std::vector<std::string> { "a_chart.png", "vur.log" }));
    EXPECT_TRUE (fs::is_directory (tmp_dir + "/a_chart.png/in-the-way"));
}
} // namespace
