// The search both pebble games run: depth-first from a node, along out-arcs
// in their stored order, for a node holding a free pebble. Iterative, so
// that no node count can overflow the thread's stack; it visits out-arcs in
// the order the recursive search does.
#pragma once

#include <cstdint>

namespace korvale {

struct SearchFrame {
    std::uint32_t node;
    std::uint32_t next;  // slot of the out-arc being tried
};

// Searches from x, whose own pebbles the caller has looked at already. The
// walk tells the search what it needs of the game:
//   out_degree(y), target(y, slot)  the out-arcs of y;
//   enter(w)   false when w was entered already in this search (or must
//              not be), otherwise marks it entered and returns true;
//   has_free(w)  whether the entered node w holds a pebble to take.
// Returns the top frame when found: the frames from `bottom` up to it are
// the path, each frame's `next` the arc it follows, and the last arc leads
// to the node with the free pebble; the caller reverses the path. Returns
// nullptr when no free pebble is reachable. `bottom` has room for one frame
// per node.
template <class Walk>
SearchFrame* search_free_pebble(Walk& walk, SearchFrame* bottom, std::uint32_t x) {
    SearchFrame* top = bottom;
    *top = {x, 0};
    for (;;) {
        if (top->next == walk.out_degree(top->node)) {
            if (top == bottom) return nullptr;
            --top;
            ++top->next;
            continue;
        }
        const std::uint32_t w = walk.target(top->node, top->next);
        if (!walk.enter(w)) {
            ++top->next;
            continue;
        }
        if (!walk.has_free(w)) {
            *++top = {w, 0};
            continue;
        }
        return top;
    }
}

}  // namespace korvale
