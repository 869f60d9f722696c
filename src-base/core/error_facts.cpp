#include "src-base/core/error_facts.h"

#include <atomic>

namespace Ziz
{
namespace
{
const ErrorFacts plainFacts {
    [] (int, int) { return std::vector<std::string>(); },
    [] { return std::uint32_t { 0 }; },
    [] (int) { return std::string(); },
    [] (std::uint32_t) { return std::string(); },
    [] (const std::type_info& type) { return std::string (type.name()); },
};

// Installed before main runs and read by the record on any thread afterwards.
std::atomic<const ErrorFacts*> installed { &plainFacts };
} // namespace

void installErrorFacts (const ErrorFacts& facts) { installed.store (&facts); }

const ErrorFacts& errorFacts() { return *installed.load(); }
} // namespace Ziz
