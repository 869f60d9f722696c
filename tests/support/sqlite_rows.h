#pragma once

// The rows a query gives, as text: one line per row, columns joined by "|", NULL as "NULL". Tests compare
// what the board history stored with one string.

#include <sqlite3.h>

#include <string>

namespace vurtest
{
inline std::string sqlite_rows (sqlite3* db, const std::string& sql, bool* prepared = nullptr)
{
    sqlite3_stmt* s = nullptr;
    std::string out;
    const bool ok = sqlite3_prepare_v2 (db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK;
    if (prepared != nullptr)
        *prepared = ok;
    if (ok)
        while (sqlite3_step (s) == SQLITE_ROW)
        {
            for (int c = 0; c < sqlite3_column_count (s); ++c)
            {
                const auto* t = sqlite3_column_text (s, c);
                out += (c > 0 ? "|" : "") + std::string (t != nullptr ? reinterpret_cast<const char*> (t) : "NULL");
            }
            out += "\n";
        }
    sqlite3_finalize (s);
    return out;
}
} // namespace vurtest
