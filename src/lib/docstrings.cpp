// Docstrings of the module's functions. Each starts with the text signature
// line and "--", which CPython turns into __text_signature__.
#include "lib/docstrings.hpp"

namespace korvale::py {

const char simulate_doc[] =
    "simulate(coords, d, tol=None)\n"
    "--\n"
    "\n"
    "Run the rigidity simulation using the fast-path algorithm.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "coords : np.ndarray  shape (n, d)  — node coordinates\n"
    "d      : int         — embedding dimension (2 or 3)\n"
    "tol    : float, optional — tolerance for rank check (default 1e-9)\n"
    "\n"
    "Returns\n"
    "-------\n"
    "dict with keys:\n"
    "  \"labels\"           np.ndarray[u8]   1=independent, 0=redundant (GNN training signal)\n"
    "  \"accepted_edges\"   list[(i,j)]      the independent edges\n"
    "  \"distance_matrix\"  np.ndarray[f64]  shape (n,n), Euclidean distances\n"
    "  \"final_rank\"       int\n"
    "  \"max_rank\"         int              nd − d(d+1)/2\n"
    "  \"is_rigid\"         bool\n"
    "  \"n_nodes\"          int\n"
    "  \"d\"                int";

const char gram_from_dist_doc[] =
    "gram_from_dist(dist)\n"
    "--\n"
    "\n"
    "Compute the Gram matrix from an Euclidean distance matrix using double-centering.\n"
    "\n"
    "Formula:  G = −½ · H · D_sq · H   where H = I − (1/n)·11ᵀ\n"
    "\n"
    "If G is positive semi-definite with rank ≤ d, the embedding is isometric (lossless).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "dist : np.ndarray  shape (n,n)  — Euclidean distance matrix (NOT squared)\n"
    "\n"
    "Returns\n"
    "-------\n"
    "np.ndarray  shape (n,n)  — Gram matrix G";

const char generate_training_batch_doc[] =
    "generate_training_batch(n_graphs, n_nodes, d, seed)\n"
    "--\n"
    "\n"
    "Generate a batch of random simulation results for GNN training.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "n_graphs : int — number of graphs\n"
    "n_nodes  : int — nodes per graph\n"
    "d        : int — embedding dimension (2 or 3)\n"
    "seed     : int — RNG seed (each graph gets seed+k)\n"
    "\n"
    "Returns\n"
    "-------\n"
    "list[dict]  — same format as `simulate`, one dict per graph";

const char max_independent_doc[] =
    "max_independent(n, d)\n"
    "--\n"
    "\n"
    "Max independent edges for n nodes in d dimensions: nd − d(d+1)/2";

const char reconstruct_doc[] =
    "reconstruct(distance_matrix, d, tol=None)\n"
    "--\n"
    "\n"
    "Reconstruct node coordinates from a Euclidean distance matrix (Classical MDS).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "distance_matrix : np.ndarray shape (n, n) — from simulate()[\"distance_matrix\"]\n"
    "d               : int — target dimension (2 or 3)\n"
    "tol             : float, optional — stress threshold for is_isometric (default 1e-6)\n"
    "\n"
    "Returns dict with keys:\n"
    "  \"coords\"       np.ndarray[f64] shape (n, d) — recovered coordinates\n"
    "  \"stress\"       float — Kruskal's normalized stress-1 (0.0 = lossless)\n"
    "  \"eigenvalues\"  np.ndarray[f64] shape (d,) — top-d Gram matrix eigenvalues\n"
    "  \"is_isometric\" bool — True when stress < tol";

const char pebble_game_doc[] =
    "pebble_game(coords, d)\n"
    "--\n"
    "\n"
    "Run the Pebble Game algorithm — O(n^2), deterministic, no matrix rank needed.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "coords : np.ndarray shape (n, d) — node coordinates (only d=2 supported)\n"
    "d      : int — must be 2\n"
    "\n"
    "Returns dict with keys:\n"
    "  \"labels\"          np.ndarray[u8]  1=independent, 0=redundant\n"
    "  \"accepted_edges\"  list[(i,j)]\n"
    "  \"n_nodes\"         int\n"
    "  \"d\"               int";

}  // namespace korvale::py
