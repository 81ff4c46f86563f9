// Depths built to defeat the depth sort's middle-pivot quicksort, for the tests and benchmarks
// that show its work stays bounded.
#pragma once

#include <vector>

// `n` whole-number depths on which the middle-pivot quicksort partitions about n / 2 levels
// deep (McIlroy's adversary, run against the quicksort itself: undecided items stay "gas" and
// are frozen, smallest first, only when they must be compared with each other). All different,
// unless `withTie`: then the depths 1 and 2 are made equal, so that a sort which first checks
// for distinct depths still has to run the quicksort.
std::vector<double> AdversarialDepths(int n, bool withTie = false);
