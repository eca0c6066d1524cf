#include "response_types.h"

namespace zt {

// Stored exactly as designed; no row is derived from another. Rows 11 and 15
// share name and weights but not the feedback; rows 9, 21 and 36 carry the
// same numbers. Rows 37 to 39 are empty: only the dry part remains.
const ResponseType kResponseTypes[kResponseTypeCount] = {
    {{0, -1, 0, 0, 0}, 1, 0.5f, "6 lp(inv)", 5},
    {{0, 0, 1, 0, 0}, 1.25f, 0.7f, "2 pole lp", 5},
    {{0, 0, 0, -1, 0}, 1.5f, 0.5f, "3 pole lp(inv)", 5},
    {{0, 0, 0, 0, 1}, 1.7f, 0.5f, "4 pole lp", 5},
    {{1, 1, 0, 0, 0}, 1.6f, 0, "1 pole hp", 9},
    {{1, 2, 1, 0, 0}, 1.8f, 0, "2 pole hp", 9},
    {{1, 3, 3, 1, 0}, 1.88f, 0, "3 pole hp", 9},
    {{0, 2, 2, 0, 0}, 1.5f, 0, "2 pole bp", 17},
    {{0, 0, 4, 8, 4}, 1.5f, 0, "4 pole bp", 17},
    {{1, 2, 2, 0, 0}, 2, 0, "2 pole notch", 33},
    {{-1, -6, -12, -8, 0}, 1.2f, 0.2f, "3 pole ap (inv)", 65},
    {{0, 3, 6, 3, 0}, 1.4f, 0, "2 pole hp + 1 pole lp", 257},
    {{0, 3, 9, 9, 3}, 1.55f, 0, "3 pole hp + 1 pole lp", 257},
    {{0, 1, 2, 2, 0}, 1.75f, 1, "2 pole notch + 1 pole lp", 257},
    {{0, 1, 3, 6, 4}, 1.5f, 0.25f, "3 pole ap + 1 pole lp", 257},
    {{0, 3, 6, 3, 0}, 1.2f, 0.25f, "2 pole hp + 1 pole lp", 257},
    {{-1, -2, 0, 0, 0}, 1.3f, 0.2f, "* 1 pole ap (inv)", 128},
    {{1, 4, 4, 0, 0}, 1.3f, 0.2f, "* 2 pole ap", 128},
    {{-1, -6, -12, -8, 0}, 1.3f, 0.2f, "* 3 pole ap (inv)", 128},
    {{1, 8, 24, 32, 16}, 1.3f, 0.2f, "* 4 pole ap", 128},
    {{1, 1, 0, 0, 0}, 1.6f, 0, "* 1 pole phaser", 128},
    {{1, 2, 2, 0, 0}, 2, 0, "* 2 pole phaser", 128},
    {{1, 3, 6, 4, 0}, 1.5f, 0, "* 3 pole phaser", 128},
    {{1, 4, 12, 16, 8}, 1.5f, 0, "* 4 pole phaser", 128},
    {{1, 4, 6, 4, 1}, 1.975f, 0, "* 4 pole hp", 8},
    {{0, -4, -7, -4, 0}, 1.5f, 0, "* double lp exp(inv)", 260},
    {{0, -4, -8, -5, 0}, 1.3f, 0.25f, "* LP 1 + Notch -12(inv)", 256},
    {{0, 0, 4, 8, 5}, 1.3f, 0.35f, "* LP 2 + Notch -12", 256},
    {{0.25f, 0.5f, 1.25f, 0, 0}, 1.6f, 0.3f, "* Reso before Notch", 256},
    {{1.5f, 3, 2, 0, 0}, 1.6f, 0.3f, "* Reso after Notch", 256},
    {{1, 4, 10, 12, 6}, 1.7f, 0, "* Double Notch A (+- Octaves)", 256},
    {{1, 4, 10.25f, 12.5f, 6.25f}, 1.7f, 0, "* Double Notch Octaves", 256},
    {{1, 4, 11, 14, 7}, 1.5f, 0, "* Double Notch B", 256},
    {{1, 4, 12, 16, 8}, 1.4f, 0, "* Double Notch C (Varel)", 256},
    {{0.75f, 3, 10.5f, 15, 7.5f}, 1.4f, 0, "* Double Notch D", 256},
    {{1, 0, 4, 8, 4}, 1, 0, "Bell", 16},
    {{1, 2, 2, 0, 0}, 2, 0, "2 pole notch", 512},
    {{0, 0, 0, 0, 0}, 0, 0, "", 0},
    {{0, 0, 0, 0, 0}, 0, 0, "", 0},
    {{0, 0, 0, 0, 0}, 0, 0, "", 0},
};

} // namespace zt
