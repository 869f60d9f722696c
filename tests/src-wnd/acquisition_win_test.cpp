// The reading thread of a device channel on Windows, against a meter on two COM ports joined back to back
// (com_meter.h): the port errors with the texts the operator sees, and a meter's lines, garbled ones among
// them, becoming boards.

#ifdef _WIN32

#include "app_fixture.h"
#include "com_meter.h"
#include "src-wnd/tabcanvas.h"

#include <map>
#include <memory>

namespace
{
class WindowsAcquisition : public vurtest::AppFixture
{
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        meter = std::make_unique<vurtest::ComMeter>();
        ASSERT_TRUE (meter->is_open()) << meter->problem;
        port = meter->path;
    }

    void TearDown() override
    {
        meter.reset();
        AppFixture::TearDown();
    }

    std::unique_ptr<TabCanvas> start_channel (const std::string& device, const std::map<std::string, std::string>& settings)
    {
        add_device ("w", device);
        app->cfg->set_str ("w_run_simulation", "false");
        for (const auto& [key, value] : settings)
            app->cfg->set_str ("w" + key, value);
        log_start = log_text().size();
        return std::make_unique<TabCanvas> ("w");
    }

    std::string channel_log() const { return log_text().substr (log_start); }

    static std::vector<double> values_of (TabCanvas& canvas)
    {
        return canvas.figures (BoardValues::included).run_values;
    }

    std::unique_ptr<vurtest::ComMeter> meter;
    std::string port;
    std::size_t log_start = 0;
};
} // namespace

TEST_F (WindowsAcquisition, AMissingPortAndRejectedSettingsAreShownWithTheirTexts)
{
    const std::string bad_settings = "baud=9600 parity=x data=8 stop=1";
    const struct
    {
        std::string device;
        std::string comm_str;
        std::string error;
    } cases[] = {
        { "COM77", "baud=9600 parity=N data=8 stop=1", "failed to open serial communication device COM77" },
        { port, bad_settings, "failed to build DCB with \"" + bad_settings + "\"" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.error);
        auto canvas = start_channel (c.device, { { "_comm_str", c.comm_str } });
        // The error record names its frames through DbgHelp, which takes its time under Wine the first time.
        ASSERT_TRUE (pump_until ([&] { return ! canvas->isThreadRunning(); }, 120000));
        {
            EXPECT_EQ (canvas->figures().error_messages, std::vector<std::string> { c.error });
        }
        EXPECT_NE (channel_log().find (c.error), std::string::npos) << channel_log();
        canvas.reset();
        app->device_prefixes.clear();
    }
}

TEST_F (WindowsAcquisition, MeterLinesBecomeBoardsAndAGarbledOneIsSkipped)
{
    auto canvas = start_channel (port, { { "_output_directory", records_dir + "/win/%Y/" } });
    ASSERT_TRUE (pump_until ([&] { return channel_log().find ("device=" + port + " Baud=") != std::string::npos; }));
    ASSERT_TRUE (meter->send ("14.8\t14.2\r\n....\t15.0\r\n16.0\t15.1\r\n"));
    ASSERT_TRUE (pump_until ([&] { return values_of (*canvas).size() >= 2; })) << channel_log();
    EXPECT_EQ (values_of (*canvas), (std::vector<double> { 14.2, 15.1 }));
    EXPECT_NE (channel_log().find (port + ": unreadable value from sensor: str=....\t15.0"), std::string::npos) << channel_log();
    EXPECT_TRUE (canvas->isThreadRunning());
    canvas.reset();
    app->device_prefixes.clear();
}

#endif
