// Who joins the soak cast when. Every tick one receiver joins and the one that
// joined kStayTicks earlier leaves, so kStayTicks receivers are attached between
// ticks. Roles repeat every kCycleTicks: the receivers attached at two ticks of the
// same phase (tick % kCycleTicks), from the first full cycle on, are the same mix,
// so the sender's threads and descriptors must be the same there too.
#pragma once

namespace soak {

enum class Role {
    Healthy,    // reads everything and records it
    Stalled,    // stops reading its video after a few frames and keeps the connection open
    Resetting,  // killed with SIGKILL mid-stream, so its connections reset
};

constexpr int kStayTicks = 3;
constexpr int kCycleTicks = 4;

inline Role roleForTick(int tick)
{
    static constexpr Role kPattern[kCycleTicks] = {Role::Healthy, Role::Stalled, Role::Healthy,
                                                   Role::Resetting};
    return kPattern[tick % kCycleTicks];
}

inline const char* roleName(Role role)
{
    switch (role) {
        case Role::Healthy:
            return "healthy";
        case Role::Stalled:
            return "stalled";
        case Role::Resetting:
            return "resetting";
    }
    return "?";
}

}  // namespace soak
