#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/calculation_inputs.h"
#include "engine/fiber_tables.h"
#include "engine/law_kernels.h"

namespace quarnel {

// The values of one crack-opening step.
struct StepValues {
    int n = 0;                         // position of the opening in the sequence, from 0
    double Wcr = 0;                    // mm
    double P = 0;                      // N
    double sigma = 0;                  // MPa
    double N_eff = 0;                  // weighted count of the bridging fibers
    double effective_fiber_ratio = 0;  // N_eff / total_fiber
    double P_top = 0;                  // N
    double sigma_top = 0;              // MPa
};

// The bridging law at a sequence of openings w0, w1, ... over the tables
// that build_fiber_tables filled. Step n opens the crack to wn; a cell
// dropped at a step (pulled out or ruptured) stays dropped at every later
// step, whatever the later openings; P and N_eff receive the terms of the
// still-bridging cells in (k, j, i) order, P += ((P_fiber w_xy) w_zx)
// fiber_number_coefficient; sigma = P / Am, the effective fiber ratio
// N_eff / total_fiber, and the peak P_top (with sigma_top) is the largest P
// so far, a later equal P taking its place. With weibull_m > 0 a cell does
// not rupture at one load: its load and its count are weighted by the share
// of its fibers still intact (kernels::StrengthScatter), P += (((P_fiber
// share) w_xy) w_zx) fiber_number_coefficient and N_eff += ((w_xy w_zx)
// fiber_number_coefficient) share.
//
// The steps are computed in blocks of up to 64 in one pass over the cells;
// each step's sums still receive their terms in cell order, so the doubles
// are those of one step at a time. The openings must be finite and not
// negative (first_invalid_opening), and the path one this processor runs;
// others throw std::invalid_argument.
class BridgingLaw {
  public:
    BridgingLaw(const CalculationInputs& inputs, const FiberTables& tables,
                std::vector<double> openings, kernels::Path path = kernels::best_path());
    BridgingLaw(const BridgingLaw&) = delete;
    BridgingLaw& operator=(const BridgingLaw&) = delete;
    ~BridgingLaw();

    std::size_t steps() const { return openings_.size(); }
    bool finished() const { return next_ >= openings_.size(); }
    // The next step's values; its block is computed when it is first needed.
    StepValues next();

  private:
    class Pass;
    void compute_block();

    std::vector<double> openings_;
    std::unique_ptr<Pass> pass_;
    std::size_t next_ = 0;
    std::size_t block_start_ = 0;
    std::size_t block_size_ = 0;
    double P_[kernels::block_steps] = {};
    double N_eff_[kernels::block_steps] = {};
    float Am_ = 0;
    float total_fiber_ = 0;
    double P_top_ = -999999;
    double sigma_top_ = -999999;
};

// Every step of the law at the openings.
std::vector<StepValues> bridging_law(const CalculationInputs& inputs, const FiberTables& tables,
                                     const std::vector<double>& openings,
                                     kernels::Path path = kernels::best_path());

}  // namespace quarnel
