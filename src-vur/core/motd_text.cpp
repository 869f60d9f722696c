#include "src-vur/core/motd_text.h"

#include "src-base/core/ZizString.h"

#include <algorithm>

std::string motd_text (const std::string& reply)
{
    const std::string text = Ziz::trim (reply);

    std::size_t cut = std::min (text.size(), max_motd_bytes);
    std::size_t lines = 1;
    for (std::size_t i = 0; i < cut; ++i)
        if (text[i] == '\n' && ++lines > max_motd_lines)
            cut = i;
    if (cut == text.size())
        return text;

    while (cut > 0 && (static_cast<unsigned char> (text[cut]) & 0xC0) == 0x80)
        --cut;
    return Ziz::trim (text.substr (0, cut)) + "\n[...]";
}
