// The random order in which several transitions take their pieces.
// Internal to the transition families.
#pragma once

#include "platform/clock.h"

#include <cmath>
#include <vector>

namespace vm {

// order[1..n] becomes a random permutation of 1..n (order[0] is unused):
// piece j goes to a slot drawn at random, drawn again while that slot is
// taken. Repeated tries rather than a shuffle, so that a seed gives the
// same order in every build; for the few thousand pieces at most they
// cost nothing.
inline std::vector<int> drawRandomOrder(Random& random, int n)
{
    std::vector<int> order(std::size_t(n > 0 ? n : 0) + 1, 0);
    for (int j = 1; j <= n; ++j) {
        int i = 0;
        do {
            i = int(std::floor(random.next() * n + 1));
            if (i > n) i = n; // cannot happen with next() < 1, kept against rounding
        } while (order[std::size_t(i)] != 0);
        order[std::size_t(i)] = j;
    }
    return order;
}

} // namespace vm
