#include "src-wnd/core/sim_table.h"

// Written by tools/gen_sim_table.py into sim_table_data.cpp.
extern const char* const simulation_table_data[simulation_table_rows];

const std::vector<std::string>& simulation_table()
{
    // Built once, on first use from any thread, and never written after that.
    static const std::vector<std::string> table (simulation_table_data, simulation_table_data + simulation_table_rows);
    return table;
}

const std::string& simulation_row (std::uint64_t position)
{
    return simulation_table()[static_cast<std::size_t> (position % simulation_table_rows)];
}
