// zt_glide_maths_check: the near forms of the glide maths against the
// library, at sizes too large for the test suite.
//   zt_glide_maths_check coefs   every float as a cutoff (a minute or two)
//   zt_glide_maths_check glides N [SEED]   N random glides, up to 4000 frames
//                                           each, one in 16 in a wild band
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "glide_maths_check.h"

namespace {

void print(const char* what, const zt::check::Tally& t)
{
    std::printf("%-12s tested %14llu  unsure %12llu (%.3g)  mismatched %llu\n", what,
                static_cast<unsigned long long>(t.tested), static_cast<unsigned long long>(t.unsure),
                t.tested ? static_cast<double>(t.unsure) / static_cast<double>(t.tested) : 0.0,
                static_cast<unsigned long long>(t.mismatched));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "coefs") == 0) {
        const zt::check::Tally t = zt::check::check_coefs(0u, 0xFFFFFFFFu, 1);
        print("coefficient", t);
        return t.mismatched == 0 ? 0 : 1;
    }
    if (argc >= 3 && std::strcmp(argv[1], "glides") == 0) {
        const uint64_t n = std::strtoull(argv[2], nullptr, 10);
        const zt::check::GlideTally t = zt::check::check_glides(argc >= 4 ? std::strtoull(argv[3], nullptr, 10) : 1, n, 4000, true);
        print("cutoff", t.cutoff);
        print("coefficient", t.coef);
        return t.cutoff.mismatched == 0 && t.coef.mismatched == 0 ? 0 : 1;
    }
    std::fprintf(stderr, "usage: %s coefs | glides N [SEED]\n", argv[0]);
    return 2;
}
