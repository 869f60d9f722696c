#include "src-cfg/cfg.h"
#include "src-cfg/properties_text.h"
#include "small_stack.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace
{
namespace fs = std::filesystem;

std::string repeated (const std::string& piece, int times)
{
    std::string text;
    text.reserve (piece.size() * static_cast<std::size_t> (times));
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

// The OPC console reads the file the monitor's store writes: every value comes back as the store holds it,
// whatever the framework had to escape or write as an element, in the store's order.
TEST (PropertiesText, ReadsWhatTheStoreWroteValueForValue)
{
    const std::string file = (fs::path (vurtest::makeTempDir ("properties")) / "store.cfg").string();
    const PropertyList written = {
        { "opc_output_filename", "C:\\Temp\\vad & \"odu\" <durodo>.txt" },
        { "a_name", "Hobel Nr. 1 \xc3\xa4\xc3\xb6\xc3\xbc \xe2\x82\xac" },   // UTF-8 beyond Latin-1
        { "b_name", "<b>Planer</b>" },                                       // written as a child element
        { "c_name", "tab\there\r\nline two" },                               // numeric character references
        { "opc_url", "sim:?pkg_seconds=60&pkgs_per_run=5" },
    };
    {
        juce::PropertiesFile store (juce::File (file), Cfg::default_options());
        for (const auto& [key, value] : written)
            store.setValue (juce::String::fromUTF8 (key.c_str()), juce::String::fromUTF8 (value.c_str()));
        ASSERT_TRUE (store.save());
    }
    EXPECT_EQ (read_properties_text (vurtest::readFile (file)), std::optional<PropertyList> (written));
}

TEST (PropertiesText, ReadsAsTheStoreLoads)
{
    struct Case
    {
        const char* what;
        std::string text;
        std::optional<PropertyList> expected;
    };
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
    const Case cases[] = {
        { "a key met again keeps its first spelling and place, and takes the later value",
          head + "<PROPERTIES><VALUE name=\"a_name\" val=\"first\"/><VALUE name=\"b\" val=\"x\"/>"
                 "<VALUE name=\"A_NAME\" val=\"second\"/></PROPERTIES>",
          PropertyList { { "a_name", "second" }, { "b", "x" } } },
        { "elements that are not named VALUE elements are passed over",
          head + "<PROPERTIES><VALUE val=\"nameless\"/><OTHER name=\"o\" val=\"1\"/><VALUE name=\"k\" val=\"v\"/></PROPERTIES>",
          PropertyList { { "k", "v" } } },
        { "no settings", head + "<PROPERTIES/>", PropertyList {} },
        { "another outer element", head + "<SETTINGS><VALUE name=\"k\" val=\"v\"/></SETTINGS>", std::nullopt },
        { "not XML", "opc_url=sim:", std::nullopt },
        { "an unclosed outer element", head + "<PROPERTIES><VALUE name=\"k\" val=\"v\"/>", std::nullopt },
        { "nesting at the limit reads",
          head + "<PROPERTIES><VALUE name=\"k\" val=\"v\"/><VALUE name=\"x\">"
                 + repeated ("<a>", max_properties_nesting - 2) + repeated ("</a>", max_properties_nesting - 2)
                 + "</VALUE></PROPERTIES>",
          PropertyList { { "k", "v" }, { "x", repeated ("<a>", max_properties_nesting - 3) + "<a/>"
                                                  + repeated ("</a>", max_properties_nesting - 3) } } },
        { "end tags in comments, character data and attributes give no level back: two levels past the limit",
          head + "<PROPERTIES><VALUE name=\"x\">"
                 + repeated ("<a><!-- </a> --><![CDATA[</a>]]><b x='</a>' y=\"/>\">", max_properties_nesting / 2)
                 + repeated ("</b></a>", max_properties_nesting / 2) + "</VALUE></PROPERTIES>",
          std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ (read_properties_text (c.text), c.expected) << c.what;
}

// Whatever the file holds, reading it takes a stack like a worker thread's.
TEST (PropertiesText, DeepNestingIsRefusedWithinASmallStack)
{
    const std::string head = "<?xml version=\"1.0\"?><PROPERTIES><VALUE name=\"k\">";
    for (const std::string& piece : { std::string ("<a>"), std::string ("<a><!-- </a> -->"), std::string ("<a x=\"/>\">") })
    {
        const std::string text = head + repeated (piece, 200000);
        std::optional<PropertyList> read = PropertyList {};
        vurtest::runOnStackOf (256 * 1024, [&] { read = read_properties_text (text); });
        EXPECT_FALSE (read.has_value()) << piece;
    }
}
} // namespace
