// Reading the inputs and every refusal check on arbitrary field texts. The
// input is lines "name=text", name a field ("Lf") or its member ("Lf"),
// over the default texts; a line "model=2" picks the Function lb model and
// "orientation_weights=exact" the exact weights. An input that both checks
// accept must give finite weights, rupture loads, corner values, 32-bit
// ratios and slopes and crack openings; with exact weights, every plane's
// weights must sum to 1.
#include <cmath>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/calculation_inputs.h"
#include "engine/crack_openings.h"
#include "engine/fiber_orientation.h"
#include "engine/fiber_tables.h"
#include "engine/input_checks.h"
#include "engine/input_table.h"
#include "engine/orientation_check.h"
#include "engine/progress.h"
#include "engine/pullout_law.h"
#include "run/input_fields.h"

namespace {

using namespace quarnel;

void require(bool condition) {
    if (!condition) std::abort();
}

std::int16_t read_texts(std::string_view input, InputSet& texts) {
    std::int16_t model = 1;
    while (!input.empty()) {
        const std::size_t end = input.find('\n');
        const std::string_view line = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view name = line.substr(0, eq);
        const std::string text(line.substr(eq + 1));
        if (name == "model") {
            model = text == "2" ? 2 : 1;
            continue;
        }
        if (name == "orientation_weights") {
            texts["orientation_weights"] = text == "exact" ? "exact" : "classic";
            continue;
        }
        for (const FieldInfo& f : input_fields()) {
            if (name == f.field || name == f.member) texts[f.member] = text;
        }
    }
    return model;
}

void require_finite_arithmetic(const CalculationInputs& in, const FiberTables& tables) {
    const Orientation o = orientation_setup(in);
    for (int i = 1; i <= angle_cells; ++i) {
        require(std::isfinite(w_xy(in, o, i)));
        require(std::isfinite(w_zx(in, o, i)));
    }
    if (in.orientation_weights == OrientationWeights::exact) {
        const PlaneWeightSums sums = orientation_weight_sums(in);
        require(std::fabs(sums.xy - 1) < 1e-9 && std::fabs(sums.zx - 1) < 1e-9);
    }
    for (int j = 1; j <= angle_cells; ++j) {
        for (int i = 1; i <= angle_cells; ++i) {
            const double theta_s = snubbing_angle(in, cell_angle_deg(i), cell_angle_deg(j));
            require(std::isfinite(rupture_load(in, theta_s)));
        }
    }
    for (std::size_t c = 0; c < tables.lb.size(); ++c) {
        const PulloutCell cell{tables.lb[c], tables.P1[c], tables.delta1[c]};
        require(std::isfinite(cell.lb) && cell.lb >= 0);
        if (cell.lb == 0) continue;
        require(std::isfinite(cell.P1) && std::isfinite(cell.delta1) && cell.delta1 != 0);
        require(std::isfinite(rising_ratio(cell)));
        if (cell.delta1 < cell.lb) require(std::isfinite(falling_slope(cell)));
    }
    const double Wcr_mid = mid_opening(in);
    require(std::isfinite(Wcr_mid));
    for (int n = 0; n <= 2 * in.division; ++n)
        require(std::isfinite(crack_opening(in, Wcr_mid, n)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputSet texts = default_input_texts();
    const std::int16_t model =
        read_texts(std::string_view(reinterpret_cast<const char*>(data), size), texts);
    const CalculationInputs in = read_calculation_inputs(texts, model);
    if (const auto refusal = check_calculation_inputs(in)) {
        require(!refusal->message.empty());
        return 0;
    }
    // Kept from input to input: the tables are refilled, not reallocated.
    static FiberTables tables;
    SilentProgress silent;
    require(build_fiber_tables(in, tables, silent));
    if (const auto refusal = check_fiber_tables(in, tables)) {
        require(!refusal->message.empty());
        return 0;
    }
    require_finite_arithmetic(in, tables);
    return 0;
}
