#pragma once

#include <functional>

namespace kel::fuzz {

// Runs `work` so that libFuzzer does not count the branches it takes: the
// inline edge counters are kept before and put back after, so the input
// under way keeps exactly the coverage it had. For work that is the same
// after every input (a harness's reset): counted, it only adds thousands of
// unchanging features for libFuzzer to walk per input. Comparisons made in
// `work` still reach libFuzzer's table of recent compares.
//
// Where the binary has no edge counters, `work` simply runs.
void run_uncounted(const std::function<void()>& work);

}  // namespace kel::fuzz
