// Seeded random graph models. Every model draws from one Engine passed in,
// so a graph depends only on its seed; edges come in a random order (one
// Fisher-Yates shuffle at the end), node pairs as (smaller, larger) before
// shuffling. The algorithms are stated in docs/korvale_graphs.md.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/records.hpp"
#include "random/engine.hpp"

namespace korvale {

struct GraphSample {
    CoordinateMatrix coords;  // n x d, or empty for purely combinatorial models
    EdgeList edges;
};

// G(n, p) with p = mean_degree / (n - 1), by geometric skips over the pairs
// (Batagelj and Brandes 2005).
EdgeList erdos_renyi(std::size_t n, double mean_degree, Engine& engine);

// A uniform-ish simple degree-regular graph: random pairing of stubs that
// refuses loops and repeated pairs, restarting when it gets stuck
// (Steger and Wormald 1999). Degrees above (n - 1) / 2 are drawn as the
// complement of an (n - 1 - degree)-regular graph. Throws InputError when
// 1,000 attempts all get stuck (not seen for any request that can be met).
EdgeList random_regular(std::size_t n, std::size_t degree, Engine& engine);

// Points uniform in the unit square or cube; an edge for every pair at
// distance <= radius (minimum image when periodic).
GraphSample random_geometric(std::size_t n, double radius, std::size_t d, bool periodic, Engine& engine);

// The probability that two of those points are joined (exact for r <= 1,
// and for r <= 1/2 when periodic; 1 beyond, an overestimate): what memory
// checks expect before drawing.
double geometric_pair_probability(double radius, std::size_t d, bool periodic);

// The L x L triangular lattice, node (x, y) = y L + x at (x + y/2, y sqrt(3)/2),
// bonds to (x+1, y), (x, y+1), (x-1, y+1), each kept with probability p.
GraphSample triangular_lattice(std::size_t side, double p, bool periodic, Engine& engine);

// The face-centred and body-centred cubic lattices of L x L x L conventional
// cells (cell edge 1), nearest-neighbour bonds (12 and 8 a node) each kept
// with probability p. Site b of cell (x, y, z) is node
// s ((z L + y) L + x) + b, s = 4 (fcc) or 2 (bcc), at (x, y, z) plus the
// basis offset: fcc (0,0,0), (1/2,1/2,0), (1/2,0,1/2), (0,1/2,1/2); bcc
// (0,0,0), (1/2,1/2,1/2). Periodic wraps every axis (L >= 2).
GraphSample fcc_lattice(std::size_t side, double p, bool periodic, Engine& engine);
GraphSample bcc_lattice(std::size_t side, double p, bool periodic, Engine& engine);

// A minimally rigid graph in d = 2 or 3 grown from K_d by Henneberg 0- and
// 1-extensions (each with probability 1/2 where both are possible), plus
// `extra` new edges between random non-adjacent pairs.
GraphSample henneberg(std::size_t n, std::size_t d, std::size_t extra, Engine& engine);

}  // namespace korvale
