// How long the serial tests wait for something that happens on its own time (a reply, a tick's effect).
#pragma once

namespace tessaro::test {

// A loaded machine (a parallel build, -j2 tests under the sanitizers) stretches every delay; Qt's own
// default of 5 s was seen to run out. A wait ends as soon as its condition holds, so only a failing
// test ever waits this long.
inline constexpr int kWaitMs = 60000;

} // namespace tessaro::test
