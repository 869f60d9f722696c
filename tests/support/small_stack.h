#pragma once

#include <cstddef>
#include <functional>

namespace vurtest
{
// Runs body on a new thread whose stack holds stackBytes, and waits for it. A body that recurses without
// bound crashes the test there, at a size like a worker thread's, instead of passing on the main thread's
// larger stack. An exception thrown by body is thrown on by this call.
void runOnStackOf (std::size_t stackBytes, const std::function<void()>& body);

inline constexpr std::size_t oneMebibyte = 1024 * 1024;
}
