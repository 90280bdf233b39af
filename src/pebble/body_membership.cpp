#include "pebble/body_membership.hpp"

namespace korvale {

bool BodyMembership::in_body(std::size_t x, std::uint32_t b) const {
    bool found = false;
    for_each_body(x, [&](std::uint32_t c) { found = found || c == b; });
    return found;
}

bool BodyMembership::together(std::size_t u, std::size_t v) const {
    if (primary_[u] == none || primary_[v] == none) return false;
    bool found = false;
    for_each_body(u, [&](std::uint32_t b) { found = found || in_body(v, b); });
    return found;
}

void BodyMembership::set_bodies(std::size_t x, std::uint32_t body, std::vector<std::uint32_t>&& others) {
    primary_[x] = body;
    const auto key = static_cast<std::uint32_t>(x);
    hinge_node_[x] = !others.empty();
    if (others.empty())
        extra_.erase(key);
    else
        extra_[key] = std::move(others);
}

}  // namespace korvale
