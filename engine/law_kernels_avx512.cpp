// Built with -mavx512f: eight steps per vector, 32 per sweep.
#include "engine/law_kernel_vectors.h"

namespace quarnel::kernels {

void evaluate_level_avx512(const LevelBlock& block) {
    VectorPass<8, 4>::run(block);
}

}  // namespace quarnel::kernels
