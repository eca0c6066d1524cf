#include "floor_kernel.h"

#include <cmath>

#include "engine/sample_path.h"

namespace zt::bench {

// The same processor choice as the plugin's frame loop, so both use the
// hardware fused multiply-add where there is one.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(ZT_NO_CLONES)
__attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
void floor_kernel(FloorState& st, const FloorParams& p, const float* in, float* out, uint32_t n)
{
    float fb = st.feedback;
    float s0 = st.stage[0], s1 = st.stage[1], s2 = st.stage[2], s3 = st.stage[3];
    const float k = p.coef, g = p.feedback_gain, f = p.feedback_factor, gain = p.input_gain;
    for (uint32_t j = 0; j < n; ++j) {
        const float x = std::fma(in[j], gain, -((g * fb) * f));
        s0 = clamp_unit(std::fma(k, s0 - x, x));
        s1 = clamp_unit(std::fma(k, s1 - s0, s0));
        s2 = clamp_unit(std::fma(k, s2 - s1, s1));
        s3 = clamp_unit(std::fma(k, s3 - s2, s2));
        fb = s3;
        out[j] = s3;
    }
    st.feedback = fb;
    st.stage[0] = s0;
    st.stage[1] = s1;
    st.stage[2] = s2;
    st.stage[3] = s3;
}

} // namespace zt::bench
