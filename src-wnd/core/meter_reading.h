#pragma once

// The search for meter readings in the text received from a meter, and the texts of the events the reading
// loop logs about that text (an invalid average, an unreadable reading, a purge).
//
// A meter, or an adapter in front of it, can send anything for as long as it likes. The search never looks
// at more than a bounded stretch of text at once: the standard library's regular expressions recurse for
// every character a repeat takes, so an unbounded search over a long run of blanks would run out of stack,
// and one that restarts at every position would take time that grows with the square of the text.

#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

// The longest reading the search finds, in bytes. A meter line is a dozen bytes; a longer match (for
// example blanks in front of a reading, taken by a leading \s*) is found by its last bytes.
constexpr std::size_t max_reading_length = 64;

struct MeterReading
{
    double first = 0.0;      // capture group 1, 0 when the pattern has no group 1 or it is empty
    double average = 0.0;    // capture group 2, likewise
    double value = 0.0;      // the board's value: average, or first when average is below 1.0
    bool invalid_average = false;
    // A reading whose groups are not numbers ("....", "1..2" from a meter with a bad contact): no board.
    bool unreadable = false;
    // The pending text as it was when this reading was found (what the invalid-average line shows);
    // filled only when invalid_average is set.
    std::string pending_at_match;
    // The text of the match; filled only when unreadable is set.
    std::string reading_text;

    // Only positive values count as boards; the rest are dropped without a message.
    bool is_board() const { return ! unreadable && value > 0.0; }
};

// Finds the first match of pattern in pending_text (within the bounds above) and converts it;
// pending_text then holds only the text after the match. Returns false, leaving pending_text alone, when
// nothing matches. Each group's text is converted as std::stod converts it; empty text (a group that
// matched nothing or took no part in the match) gives 0, and a group that is not one number throughout
// makes the reading unreadable.
bool take_reading (std::string& pending_text, const std::regex& pattern, MeterReading& reading);

// Takes every complete reading in pending_text, in order of arrival, at most max_readings of them, so that a
// meter sending faster than the reading loop's interval loses nothing. A match of empty length ends the
// search after it is taken (it would otherwise match again at the same place).
std::vector<MeterReading> take_readings (std::string& pending_text, const std::regex& pattern,
                                         std::size_t max_readings = SIZE_MAX);

// The text a meter has sent and the reading loop has not yet taken. It remembers how far the text has been
// searched without a match, so that each pass searches only what arrived since (and the last
// max_reading_length bytes before it, where a reading may have begun): the cost of a pass follows what the
// meter sent in it, not what has gathered.
class PendingMeterText
{
public:
    void append (const std::string& text) { pending += text; }
    std::vector<MeterReading> take_readings (const std::regex& pattern);
    void clear();
    const std::string& text() const { return pending; }
    std::size_t size() const { return pending.size(); }
    bool empty() const { return pending.empty(); }

private:
    std::string pending;
    std::size_t searched = 0;   // no reading starts before this offset
};

// device + ": invalid average value from sensor: str=" + the reading's pending text trimmed at both ends.
std::string invalid_average_line (const std::string& device, const MeterReading& reading);

// device + ": unreadable value from sensor: str=" + the reading's text trimmed at both ends.
std::string unreadable_reading_line (const std::string& device, const MeterReading& reading);

// Bytes 33 to 126 stand for themselves; every other byte is written as "<", its value as a signed 8-bit
// decimal number, and ">" (so a tab is "<9>" and 0xFF is "<-1>").
std::string printable_purge_copy (const std::string& text);

// Whether text that has gathered without a reading must be thrown away: longer than 10 read buffers.
// A read length below 1 counts as 1, the smallest buffer a read can use.
bool needs_purge (std::size_t pending_length, int read_len);

// device + ": purging long/invalid string: len=" + length + ": \"" + printable copy + "\"".
std::string purge_line (const std::string& device, const std::string& pending_text);
