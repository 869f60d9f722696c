#pragma once

// The progress accounting of the load sequence, and the status texts it can show.

#include <array>
#include <functional>
#include <optional>
#include <string>

inline constexpr const char* starting_status_message = "Starting...";

// Byte-wise ascending; a humorous text is picked by its index.
extern const std::array<const char*, 29> humorous_status_messages;

// "Starting..." unless draw (uniform in [0, 1)) is 0.9 or more; then the humorous text at index (an index
// outside the table gives "Starting..." too).
std::string pick_status_message (float draw, int index);

// The progress bar is scaled by the units the previous load took, kept under number_of_items_to_load.
class LoadProgress
{
public:
    // Reads number_of_items_to_load as the store's integer reading (100 when the key is missing). Called at
    // most once, on the first update; values below 1 count as 100.
    using StoredTotalReader = std::function<int()>;

    explicit LoadProgress (StoredTotalReader read_stored_total);

    // Adds units (the running total never drops below 1) and returns the line for the log:
    // "update progress bar: 17/100 = 17.0%".
    std::string add_units (double units);

    double items_total() const { return total; }
    double items_done() const { return done; }
    // done / total, not clamped: a load that takes longer than the last one passes 1.
    double ratio() const;

    // What to store under number_of_items_to_load when the load has ended: the units it took, as a whole
    // number; nothing when that equals the total the bar was scaled to.
    std::optional<int> total_to_store() const;

private:
    StoredTotalReader read_stored_total;
    double total = 0;
    double done = 0;
};
