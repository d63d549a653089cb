// The one optional argument of the benchmarks: how long to time each case. A budget that is not
// a positive number would time nothing and print nonsense, so it is refused with the usage.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace mivora::tools {

// The budget from argv[1], or fallback without one; false (usage printed) when it is unusable.
inline bool ReadBudget(int argc, char** argv, double fallback, const char* usage, double* budget) {
  char* end = nullptr;
  *budget = argc > 1 ? std::strtod(argv[1], &end) : fallback;
  if (argc > 2 || (argc > 1 && (end == argv[1] || *end != 0 || !(*budget > 0)))) {
    std::fprintf(stderr, "usage: %s\n", usage);
    return false;
  }
  return true;
}

}  // namespace mivora::tools
