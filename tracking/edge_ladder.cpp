#include "tracking/edge_ladder.h"

#include <algorithm>

int EdgeLadder::settled() const { return std::clamp(threshold_, p_.lowest, p_.top); }

int EdgeLadder::first(bool& probe) {
    probe = false;
    if (!p_.adaptive) return p_.top;
    const int at = settled();
    probe = at < p_.top && ++framesBelowTop_ % p_.probeEvery == 0;
    return probe ? std::min(p_.top, static_cast<int>(at / p_.rung)) : at;
}

void EdgeLadder::settle(int threshold, bool found) {
    if (!p_.adaptive) return;
    threshold_ = found ? threshold : std::max(p_.lowest, static_cast<int>(threshold * p_.rung));
}
