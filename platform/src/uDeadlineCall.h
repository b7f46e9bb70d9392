#pragma once
// A call into a library that may never return (a sound server that is stopped answers nothing,
// and the library waits for it without a time limit), made with a deadline: the call runs on a
// helper thread of its own and the caller waits for it at most `limit`. A call that overruns
// is abandoned, deliberately leaked: its thread runs on alone, the caller never touches what
// it works on again, and when the call comes back after all (the server resumed) `late` runs
// on that thread to tidy up. So `work` and `late` must own, or share, everything they touch.

#include <chrono>
#include <functional>

namespace platform {

// True when `work` finished within `limit`; false when it was abandoned.
bool RunWithin(std::chrono::milliseconds limit, std::function<void()> work,
               std::function<void()> late = {});

} // namespace platform
