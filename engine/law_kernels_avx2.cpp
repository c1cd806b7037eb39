// Built with -mavx2: four steps per vector, 16 per sweep, so that the sums
// of a sweep fit the sixteen vector registers.
#include "engine/law_kernel_vectors.h"

namespace quarnel::kernels {

void evaluate_level_avx2(const LevelBlock& block) {
    VectorPass<4, 4>::run(block);
}

}  // namespace quarnel::kernels
