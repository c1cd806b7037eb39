// The compiled part of the quarnel Python package: plain values in and out
// over study/, so that the package's Python code (and Dask's workers) call
// it with dicts, lists and arrays. Every computation releases the GIL.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/input_table.h"
#include "engine/text_to_number.h"
#include "quarnel_version.h"
#include "run/result_file.h"
#include "study/converged_criteria.h"
#include "study/criteria.h"
#include "study/fiber_mix.h"
#include "study/fit.h"
#include "study/law_run.h"
#include "study/measured_curve.h"
#include "study/sample.h"
#include "study/sample_statistics.h"
#include "study/sweep_study.h"

namespace py = pybind11;

namespace quarnel {

namespace {

// A Python mapping of inputs by member name: str is a field text, int and
// float a double stored with the member's width.
InputSet input_set(const py::dict& values) {
    InputSet inputs;
    for (const auto& [key, value] : values) {
        const std::string name = py::str(key);
        if (py::isinstance<py::str>(value)) {
            inputs[name] = value.cast<std::string>();
        } else if (py::isinstance<py::bool_>(value)) {
            throw py::type_error(name + ": a bool is not an input value");
        } else {
            inputs[name] = value.cast<double>();
        }
    }
    return inputs;
}

MatrixProperties matrix_of(std::optional<double> sigma_fc, std::optional<double> J_tip) {
    return {sigma_fc, J_tip};
}

py::array_t<double> column(const std::vector<StepValues>& steps, double StepValues::*field) {
    py::array_t<double> out(static_cast<py::ssize_t>(steps.size()));
    auto view = out.mutable_unchecked<1>();
    for (std::size_t i = 0; i < steps.size(); ++i)
        view(static_cast<py::ssize_t>(i)) = steps[i].*field;
    return out;
}

py::dict steps_dict(const std::vector<StepValues>& steps) {
    py::dict d;
    d["Wcr"] = column(steps, &StepValues::Wcr);
    d["P"] = column(steps, &StepValues::P);
    d["sigma"] = column(steps, &StepValues::sigma);
    d["effective_fiber_ratio"] = column(steps, &StepValues::effective_fiber_ratio);
    d["N_eff"] = column(steps, &StepValues::N_eff);
    d["P_top"] = column(steps, &StepValues::P_top);
    d["sigma_top"] = column(steps, &StepValues::sigma_top);
    return d;
}

py::object optional_number(const std::optional<double>& x) {
    return x ? py::cast(*x) : py::none();
}

py::dict criteria_dict(const LawCriteria& c) {
    py::dict d;
    d["sigma_max"] = c.sigma_max;
    d["P_max"] = c.P_max;
    d["Wcr_peak"] = c.Wcr_peak;
    d["ratio_initial"] = c.ratio_initial;
    d["ratio_at_peak"] = c.ratio_at_peak;
    d["J_b_prime"] = c.J_b_prime;
    d["G_b"] = c.G_b;
    d["psh_strength"] = optional_number(c.psh_strength);
    d["psh_energy"] = optional_number(c.psh_energy);
    d["strain_hardening"] = c.strain_hardening ? py::cast(*c.strain_hardening) : py::none();
    if (c.strain_hardening_margin) d["strain_hardening_margin"] = *c.strain_hardening_margin;
    d["criteria_openings"] = c.openings;
    d["criteria_change"] = optional_number(c.change);
    return d;
}

// How the criteria are formed: "converged" on openings of their own, refined
// to the relative tolerance, or "steps".
CriteriaSettings criteria_settings(const std::string& criteria, double tolerance) {
    CriteriaSettings settings;
    if (criteria == "steps") {
        settings.source = CriteriaSource::steps;
    } else if (criteria != "converged") {
        throw py::value_error("criteria must be \"converged\" or \"steps\", not \"" + criteria +
                              "\"");
    }
    if (!(tolerance >= 1e-6 && tolerance <= 0.1)) {
        throw py::value_error("criteria_tolerance must be from 1e-06 to 0.1");
    }
    settings.tolerance = tolerance;
    return settings;
}

py::object refusal_tuple(const InputRefusal& refusal, std::int16_t model) {
    return py::make_tuple(refusal.member, refusal_message(refusal, model));
}

std::optional<std::vector<double>> openings_of(const std::optional<py::array_t<double>>& given) {
    if (!given) return std::nullopt;
    const auto view = given->unchecked<1>();
    std::vector<double> openings(static_cast<std::size_t>(view.shape(0)));
    for (std::size_t i = 0; i < openings.size(); ++i)
        openings[i] = view(static_cast<py::ssize_t>(i));
    return openings;
}

py::dict law(const py::dict& values, const std::optional<py::array_t<double>>& given,
             std::optional<double> sigma_fc, std::optional<double> J_tip,
             const std::string& criteria_source, double criteria_tolerance) {
    const InputSet inputs = input_set(values);
    const auto openings = openings_of(given);
    const CriteriaSettings settings = criteria_settings(criteria_source, criteria_tolerance);
    LawRun run;
    LawCriteria criteria;
    {
        py::gil_scoped_release release;
        LawScratch scratch;
        run = compute_law(inputs, openings, scratch);
        if (!run.refused()) {
            criteria =
                criteria_of_law(inputs, run.steps, matrix_of(sigma_fc, J_tip), settings, scratch);
        }
    }
    py::dict out;
    out["refusal"] = run.refused() ? refusal_tuple(*run.refusal, run.inputs.model) : py::none();
    out["steps"] = steps_dict(run.steps);
    out["criteria"] = criteria_dict(criteria);
    out["model"] = run.inputs.model;
    return out;
}

void write_result_file(const py::dict& values, const std::optional<py::array_t<double>>& given,
                       const std::string& path, const std::vector<int>& at) {
    const InputSet inputs = input_set(values);
    const auto openings = openings_of(given);
    ClockReading clock = local_clock_now();
    if (at.size() == 6) clock = {at[0], at[1], at[2], at[3], at[4], at[5]};
    std::optional<std::string> failure;
    std::optional<InputRefusal> refusal;
    std::int16_t model = 1;
    {
        py::gil_scoped_release release;
        LawRun run = compute_law(inputs, openings);
        model = run.inputs.model;
        if (run.refused()) {
            refusal = run.refusal;
        } else {
            run.inputs.data_file_name = path;
            ResultFile file;
            std::optional<FileFailure> f = file.open(path);
            if (!f) f = file.write_header(run.inputs, clock);
            for (const StepValues& s : run.steps) {
                if (f) break;
                f = file.write_step_row(s.n, s.Wcr, s.P, s.sigma, s.effective_fiber_ratio);
            }
            const auto closing = file.close();
            if (!f) f = closing;
            if (f) failure = path + ": " + f->description;
        }
    }
    if (refusal) throw py::value_error(refusal_message(*refusal, model));
    if (failure) throw py::value_error(*failure);
}

// An axis from Python: (name, [values]) with each value a text or a number
// (written as its shortest text, which the field rule reads back exactly),
// or (name, (start, stop, count, log)).
SweepAxis axis_of(const py::handle& item) {
    const auto pair = item.cast<py::tuple>();
    SweepAxis axis;
    axis.name = pair[0].cast<std::string>();
    // A float64 array: numbers made elsewhere (samples), taken as they are.
    if (py::isinstance<py::array_t<double>>(pair[1])) {
        axis.values = pair[1].cast<std::vector<double>>();
        return axis;
    }
    if (py::isinstance<py::tuple>(pair[1])) {
        const auto r = pair[1].cast<py::tuple>();
        axis.values = SweepRange{r[0].cast<double>(), r[1].cast<double>(), r[2].cast<std::size_t>(),
                                 r[3].cast<bool>()};
        return axis;
    }
    std::vector<std::string> texts;
    for (const auto& v : pair[1].cast<py::list>()) {
        texts.push_back(py::isinstance<py::str>(v) ? v.cast<std::string>()
                                                   : shortest_number_text(v.cast<double>()));
    }
    axis.values = std::move(texts);
    return axis;
}

SweepSpec spec_of(const py::dict& d) {
    SweepSpec spec;
    spec.base = input_set(d["base"].cast<py::dict>());
    for (const auto& f : d["fibers"].cast<py::list>())
        spec.fibers.push_back(input_set(f.cast<py::dict>()));
    for (const auto& a : d["axes"].cast<py::list>()) {
        SweepAxis axis = axis_of(a);
        SweepTarget target = sweep_target(axis.name, spec.fibers.size());
        if (target.member == "model") check_model_axis(axis);
        spec.axes.push_back(std::move(axis));
        spec.targets.push_back(std::move(target));
    }
    spec.zip = d["zip"].cast<bool>();
    if (!d["openings"].is_none())
        spec.openings = openings_of(d["openings"].cast<py::array_t<double>>());
    spec.matrix = {d["sigma_fc"].cast<std::optional<double>>(),
                   d["J_tip"].cast<std::optional<double>>()};
    spec.keep_steps = d["curves"].cast<bool>();
    if (d.contains("criteria")) {
        spec.criteria = criteria_settings(d["criteria"].cast<std::string>(),
                                          d["criteria_tolerance"].cast<double>());
    }
    if (d.contains("psh_margins") && !d["psh_margins"].is_none()) {
        const auto margins = d["psh_margins"].cast<std::pair<double, double>>();
        spec.criteria.psh_margins = PshMargins{margins.first, margins.second};
    }
    return spec;
}

std::mutex kept_scratch_mutex;
SweepScratch kept_scratch;

// Runs [first, last) of a sweep, in run order, as dicts; a KeyboardInterrupt
// ends it after the runs under way.
py::list sweep_runs(const py::dict& description, std::size_t first, std::size_t last, int jobs,
                    const py::object& progress) {
    SweepSpec spec;
    std::optional<SweepPlan> plan;
    try {
        spec = spec_of(description);
        plan.emplace(sweep_plan(spec));
    } catch (const std::invalid_argument& e) {
        throw py::value_error(e.what());
    }
    if (last > plan->runs()) last = plan->runs();
    std::vector<SweepRunResult> results;
    std::atomic<bool> interrupted{false};
    const auto stop = [&] {
        py::gil_scoped_acquire acquire;
        if (PyErr_CheckSignals() != 0) interrupted = true;
        return interrupted.load();
    };
    const auto consume = [&](SweepRunResult&& r) {
        results.push_back(std::move(r));
        if (!progress.is_none()) {
            py::gil_scoped_acquire acquire;
            progress(results.size());
        }
        return true;
    };
    {
        py::gil_scoped_release release;
        if (jobs <= 1) {
            // One thread keeps the process's tables between calls, so that a
            // Dask worker computing chunk after chunk builds them once;
            // a concurrent call takes tables of its own.
            std::unique_lock lock(kept_scratch_mutex, std::try_to_lock);
            SweepScratch own;
            SweepScratch& scratch = lock.owns_lock() ? kept_scratch : own;
            for (std::size_t r = first; r < last && !stop(); ++r) {
                consume(compute_sweep_run(spec, *plan, r, scratch));
            }
        } else {
            run_sweep(spec, *plan, first, last, jobs, consume, stop);
        }
    }
    if (interrupted) throw py::error_already_set();
    py::list rows;
    for (const SweepRunResult& r : results) {
        py::dict row;
        row["run"] = r.run + 1;
        py::list values;
        for (std::size_t a = 0; a < spec.axes.size(); ++a)
            values.append(spec.axes[a].number(r.at[a]));
        row["values"] = values;
        if (r.refused()) {
            row["status"] = "refused";
            row["message"] = refusal_message(r.refusal->refusal, r.refusal->model);
            row["fiber"] = r.refusal->fiber;
            row["criteria"] = py::none();
        } else {
            row["status"] = "ok";
            row["message"] =
                r.criteria.available() ? std::string() : "no criteria: " + r.criteria.why_none;
            row["fiber"] = 0;
            row["criteria"] = criteria_dict(r.criteria);
        }
        row["orientation_weight_error"] = r.orientation_weight_error;
        if (spec.keep_steps) row["steps"] = steps_dict(r.steps);
        rows.append(row);
    }
    return rows;
}

// The sampled values of a design, one float64 array per input.
py::list draw_sample_values(const std::vector<std::pair<std::string, std::string>>& distributions,
                            const std::vector<std::string>& correlations, std::size_t runs,
                            std::uint64_t seed, const std::string& method) {
    SampleDesign design;
    std::vector<std::vector<double>> values;
    try {
        for (const auto& [name, text] : distributions)
            design.inputs.push_back(parse_sampled_input(name + "=" + text));
        for (const std::string& c : correlations)
            design.correlations.push_back(parse_correlation(c));
        design.runs = runs;
        design.seed = seed;
        design.method = parse_sample_method(method);
        py::gil_scoped_release release;
        values = draw_samples(design);
    } catch (const std::invalid_argument& e) {
        throw py::value_error(e.what());
    }
    py::list out;
    for (const std::vector<double>& v : values)
        out.append(py::array_t<double>(static_cast<py::ssize_t>(v.size()), v.data()));
    return out;
}

// The statistics of a sample's rows (as sweep_runs gives them).
py::dict sample_statistics(const py::list& rows, const std::vector<std::string>& inputs,
                           const std::vector<std::string>& criteria, bool hardening, bool margin) {
    SampleTally tally(inputs, criteria, hardening, margin);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto verdict = [](const py::dict& c, const char* key) -> std::optional<bool> {
        if (!c.contains(key) || c[key].is_none()) return std::nullopt;
        return c[key].cast<bool>();
    };
    for (const auto& item : rows) {
        const auto row = item.cast<py::dict>();
        if (row["status"].cast<std::string>() == "refused") {
            tally.add_refused();
            continue;
        }
        const auto values = row["values"].cast<std::vector<double>>();
        const auto c = row["criteria"].cast<py::dict>();
        std::vector<double> numbers;
        for (const std::string& name : criteria) {
            numbers.push_back(c.contains(name.c_str()) && !c[name.c_str()].is_none()
                                  ? c[name.c_str()].cast<double>()
                                  : nan);
        }
        // A run without criteria has no verdicts.
        const bool available = std::isfinite(numbers.front());
        tally.add(values, numbers, available ? verdict(c, "strain_hardening") : std::nullopt,
                  available ? verdict(c, "strain_hardening_margin") : std::nullopt);
    }
    const SampleStatistics st = tally.statistics();
    py::dict out;
    out["runs"] = st.runs;
    out["refused"] = st.refused;
    py::list table;
    for (const CriterionStatistics& cs : st.criteria) {
        py::dict d;
        d["quantity"] = cs.name;
        d["count"] = cs.count;
        d["mean"] = cs.mean;
        d["sd"] = cs.sd;
        d["q05"] = cs.q05;
        d["q50"] = cs.q50;
        d["q95"] = cs.q95;
        for (std::size_t i = 0; i < inputs.size(); ++i)
            d[py::str("spearman_" + inputs[i])] = cs.spearman[i];
        table.append(d);
    }
    out["criteria"] = table;
    py::list probabilities;
    for (const ProbabilityEstimate& p : st.probabilities) {
        py::dict d;
        d["quantity"] = p.name;
        d["count"] = p.count;
        d["hits"] = p.hits;
        d["probability"] = p.probability;
        d["ci_low"] = p.low;
        d["ci_high"] = p.high;
        probabilities.append(d);
    }
    out["probabilities"] = probabilities;
    return out;
}

py::dict mix(const py::list& fiber_values, const py::dict& shared_values,
             const std::optional<py::array_t<double>>& given, std::optional<double> sigma_fc,
             std::optional<double> J_tip, const std::string& criteria_source,
             double criteria_tolerance) {
    std::vector<InputSet> fibers;
    for (const auto& f : fiber_values) fibers.push_back(input_set(f.cast<py::dict>()));
    const InputSet shared = input_set(shared_values);
    const auto openings = openings_of(given);
    const CriteriaSettings settings = criteria_settings(criteria_source, criteria_tolerance);
    MixRun run;
    LawCriteria criteria;
    {
        py::gil_scoped_release release;
        MixScratch scratch;
        run = compute_mix(fibers, shared, openings, scratch);
        if (!run.refused()) {
            criteria = criteria_of_mix(fibers, shared, run.steps, matrix_of(sigma_fc, J_tip),
                                       settings, scratch);
        }
    }
    py::dict out;
    if (run.refused()) {
        out["refusal"] = py::make_tuple(run.refusal->fiber, run.refusal->refusal.member,
                                        refusal_message(run.refusal->refusal, run.refusal->model));
    } else {
        out["refusal"] = py::none();
    }
    out["steps"] = steps_dict(run.steps);
    py::list types;
    for (const LawRun& f : run.fibers) types.append(steps_dict(f.steps));
    out["types"] = types;
    out["criteria"] = criteria_dict(criteria);
    return out;
}

// A fit of `fitted` ({name: (low, high) or (low, high, start)}) to the
// measured points; the problem's refusal raises ValueError, an input refusal
// that no fitted value can lift comes back as "refusal".
py::dict fit(const py::array_t<double>& openings, const py::array_t<double>& stresses,
             const py::list& fitted, const py::dict& values, std::optional<double> until,
             int starts, std::uint64_t seed, std::optional<long> max_evaluations,
             std::optional<double> max_seconds, const py::object& progress) {
    // Every input not given at its default text, as compute_law takes them.
    const InputSet inputs = with_default_texts(input_set(values));
    const auto w = openings.unchecked<1>();
    const auto sigma = stresses.unchecked<1>();
    if (w.shape(0) != sigma.shape(0))
        throw py::value_error("openings and stresses differ in length");
    std::vector<MeasuredPoint> points;
    for (py::ssize_t i = 0; i < w.shape(0); ++i) {
        points.push_back({w(i), sigma(i), static_cast<int>(i + 1)});
    }
    std::vector<FitValue> wanted;
    for (const auto& item : fitted) {
        const auto t = item.cast<py::tuple>();
        FitValue v;
        v.name = t[0].cast<std::string>();
        v.member = input_member(v.name);
        if (v.member.empty()) throw py::type_error("unknown input '" + v.name + "' to fit");
        v.low = t[1].cast<double>();
        v.high = t[2].cast<double>();
        if (t.size() > 3 && !t[3].is_none()) v.start = t[3].cast<double>();
        wanted.push_back(v);
    }
    auto made = make_fit_problem(inputs, wanted, points, until, false);
    py::dict out;
    if (const auto* refusal = std::get_if<FitProblemRefusal>(&made)) {
        if (!refusal->input) throw py::value_error(refusal->message);
        const std::int16_t model = read_calculation_inputs(inputs).model;
        out["refusal"] = refusal_tuple(*refusal->input, model);
        return out;
    }
    FitSettings settings;
    settings.starts = starts;
    settings.seed = seed;
    settings.max_evaluations = max_evaluations;
    settings.max_seconds = max_seconds;
    if (const auto error = check_fit_settings(settings)) throw py::value_error(*error);
    bool interrupted = false;
    FitResult result;
    {
        py::gil_scoped_release release;
        FitHooks hooks;
        hooks.stop_requested = [&] {
            py::gil_scoped_acquire acquire;
            if (PyErr_CheckSignals() != 0) interrupted = true;
            return interrupted;
        };
        if (!progress.is_none()) {
            hooks.progress = [&](long evaluations, double rmse) {
                py::gil_scoped_acquire acquire;
                progress(evaluations, rmse);
            };
        }
        result = fit_law(std::get<FitProblem>(made), settings, hooks);
    }
    if (interrupted) throw py::error_already_set();
    out["refusal"] = py::none();
    out["found"] = result.found;
    out["values"] = result.values;
    out["texts"] = result.texts;
    out["at_bound"] = result.at_bound;
    out["fitted_stresses"] = result.fitted_stresses;
    out["rmse"] = result.rmse;
    out["r2"] = optional_number(result.r2);
    out["evaluations"] = result.evaluations;
    out["refused_evaluations"] = result.refused_evaluations;
    out["seconds"] = result.seconds;
    out["stop"] = fit_stop_text(result.stop);
    const FitStatistics& st = result.statistics;
    out["statistics_computed"] = st.computed;
    out["statistics_not_computed"] = st.not_computed;
    py::list errors;
    py::list intervals;
    for (std::size_t i = 0; i < st.standard_errors.size(); ++i) {
        errors.append(optional_number(st.standard_errors[i]));
        const auto& interval = st.intervals_95[i];
        intervals.append(interval ? py::object(py::make_tuple(interval->first, interval->second))
                                  : py::object(py::none()));
    }
    out["standard_errors"] = errors;
    out["intervals_95"] = intervals;
    py::list correlations;
    for (const auto& row : st.correlations) {
        py::list cells;
        for (const auto& c : row) cells.append(c ? py::cast(*c) : py::cast(std::nan("")));
        correlations.append(cells);
    }
    out["correlations"] = correlations;
    out["warnings"] = result.warnings;
    out["local_scatter"] = optional_number(result.local_scatter);
    {
        std::vector<double> w(points.size());
        std::vector<double> y(points.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            w[i] = points[i].opening;
            y[i] = points[i].stress;
        }
        const CurveCriteria m = measured_curve_criteria(w, y);
        py::dict measured;
        measured["sigma_max"] = m.sigma_max;
        measured["Wcr_peak"] = m.Wcr_peak;
        measured["J_b_prime"] = m.J_b_prime;
        measured["G_b"] = m.G_b;
        out["measured_criteria"] = measured;
    }
    if (!result.found && result.last_refusal) {
        out["last_refusal"] =
            refusal_tuple(*result.last_refusal, read_calculation_inputs(inputs).model);
    }
    return out;
}

}  // namespace

}  // namespace quarnel

PYBIND11_MODULE(_quarnel, m) {
    using namespace quarnel;
    m.doc() = "Quarnel's compiled study library; use the quarnel package.";
    m.attr("__version__") = quarnel::version;
    m.def("input_names", [] {
        std::vector<std::string> names = input_member_names();
        names.push_back("A");
        names.push_back("B");
        return names;
    });
    m.def("default_texts", [] {
        py::dict d;
        for (const InputInfo& info : input_table()) d[py::str(info.member)] = info.default_text;
        return d;
    });
    m.def("law", &law, py::arg("inputs"), py::arg("openings") = py::none(),
          py::arg("sigma_fc") = py::none(), py::arg("J_tip") = py::none(),
          py::arg("criteria") = "converged", py::arg("criteria_tolerance") = 1e-3);
    m.def("sweep_runs", &sweep_runs, py::arg("spec"), py::arg("first"), py::arg("last"),
          py::arg("jobs") = 1, py::arg("progress") = py::none());
    m.def("runs_of", [](const py::dict& description) {
        try {
            return sweep_plan(spec_of(description)).runs();
        } catch (const std::invalid_argument& e) {
            throw py::value_error(e.what());
        }
    });
    m.def("draw_samples", &draw_sample_values, py::arg("distributions"), py::arg("correlations"),
          py::arg("runs"), py::arg("seed"), py::arg("method"));
    m.def("sample_statistics", &sample_statistics, py::arg("rows"), py::arg("inputs"),
          py::arg("criteria"), py::arg("hardening"), py::arg("margin"));
    m.def("max_sample_runs", [] { return max_sample_runs; });
    m.def("mix", &mix, py::arg("fibers"), py::arg("shared"), py::arg("openings") = py::none(),
          py::arg("sigma_fc") = py::none(), py::arg("J_tip") = py::none(),
          py::arg("criteria") = "converged", py::arg("criteria_tolerance") = 1e-3);
    m.def("fit", &fit, py::arg("openings"), py::arg("stresses"), py::arg("fitted"),
          py::arg("inputs"), py::arg("until") = py::none(), py::arg("starts") = 4,
          py::arg("seed") = 1, py::arg("max_evaluations") = py::none(),
          py::arg("max_seconds") = py::none(), py::arg("progress") = py::none());
    m.def("write_result_file", &write_result_file, py::arg("inputs"), py::arg("openings"),
          py::arg("path"), py::arg("at"));
}
