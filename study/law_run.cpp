#include "law_run.h"

#include <cstring>

#include "engine/crack_openings.h"
#include "engine/input_table.h"
#include "engine/progress.h"

namespace quarnel {

namespace {

// The checks that come before the model setting; the refusal, if any.
std::optional<InputRefusal> first_checks(const CalculationInputs& inputs,
                                         const std::optional<std::vector<double>>& openings) {
    if (openings) {
        if (auto refusal = check_openings(*openings)) return refusal;
    }
    return check_calculation_inputs(inputs,
                                    openings ? OpeningScheme::given : OpeningScheme::division);
}

template <typename T>
bool same_bits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

bool same_tables(const CalculationInputs& a, const CalculationInputs& b) {
    // Every input but the fiber count's (Vf, Am), "Division" and the file name;
    // compared by bits, so that -0 and 0 are told apart.
    return same_bits(a.Af, b.Af) && same_bits(a.Lf, b.Lf) && same_bits(a.fp0, b.fp0) &&
           same_bits(a.fp1, b.fp1) && same_bits(a.fd0, b.fd0) && same_bits(a.fd1, b.fd1) &&
           same_bits(a.f_reduction, b.f_reduction) && same_bits(a.sigma_fu, b.sigma_fu) &&
           same_bits(a.crack_xy, b.crack_xy) && same_bits(a.crack_zx, b.crack_zx) &&
           same_bits(a.kxy, b.kxy) && same_bits(a.kzx, b.kzx) &&
           same_bits(a.theta_r_xy, b.theta_r_xy) && same_bits(a.theta_r_zx, b.theta_r_zx) &&
           a.model == b.model && a.angle_step_deg == b.angle_step_deg &&
           same_bits(a.Pmax, b.Pmax) && same_bits(a.delta_max, b.delta_max) &&
           same_bits(a.C, b.C) && same_bits(a.D, b.D);
}

LawRun compute_law(const InputSet& inputs, const std::optional<std::vector<double>>& openings,
                   LawScratch& scratch) {
    LawRun run;
    run.inputs = read_calculation_inputs(with_default_texts(inputs));
    run.refusal = first_checks(run.inputs, openings);
    if (run.refused()) return run;
    if (!scratch.built_for || !same_tables(*scratch.built_for, run.inputs)) {
        scratch.built_for.reset();
        SilentProgress progress;
        build_fiber_tables(run.inputs, scratch.tables, progress);
        scratch.built_for = run.inputs;
    }
    run.refusal = check_fiber_tables(run.inputs, scratch.tables);
    if (run.refused()) return run;
    run.steps = bridging_law(run.inputs, scratch.tables,
                             openings ? *openings : division_openings(run.inputs));
    return run;
}

LawRun compute_law(const InputSet& inputs, const std::optional<std::vector<double>>& openings,
                   FiberTables& tables) {
    LawRun run;
    run.inputs = read_calculation_inputs(with_default_texts(inputs));
    run.refusal = first_checks(run.inputs, openings);
    if (run.refused()) return run;
    SilentProgress progress;
    build_fiber_tables(run.inputs, tables, progress);
    run.refusal = check_fiber_tables(run.inputs, tables);
    if (run.refused()) return run;
    run.steps =
        bridging_law(run.inputs, tables, openings ? *openings : division_openings(run.inputs));
    return run;
}

LawRun compute_law(const InputSet& inputs, const std::optional<std::vector<double>>& openings) {
    LawScratch scratch;
    return compute_law(inputs, openings, scratch);
}

}  // namespace quarnel
