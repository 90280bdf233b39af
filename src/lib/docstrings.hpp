#pragma once

namespace korvale::py {

extern const char simulate_doc[];
extern const char gram_from_dist_doc[];
extern const char generate_training_batch_doc[];
extern const char max_independent_doc[];
extern const char reconstruct_doc[];
extern const char pebble_game_doc[];

}  // namespace korvale::py
