#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "engine/calculation_inputs.h"

namespace quarnel {

// The points of "start:stop:count" or "start:stop:count:log": both ends
// exact, and inner point k of n = count - 1 the value start + (stop - start)
// * (k / n), or start * pow(stop / start, k / n) for a log range, rounded to
// 15 significant digits.
struct SweepRange {
    double start = 0;
    double stop = 0;
    std::size_t count = 1;
    bool log = false;
};

// One varied input of a sweep: NAME=VALUES with VALUES a list of field texts
// "v1,v2,...", or a range, or a list of numbers made elsewhere (samples). A
// range's points are computed when asked for, so an axis takes the same
// memory whatever its count.
struct SweepAxis {
    std::string name;  // as given: "Vf", "A", "fiber2.Vf"
    std::variant<std::vector<std::string>, SweepRange, std::vector<double>> values;

    std::size_t size() const;
    // Value i (from 0): a list item as its text, read later by the field rule
    // as a field is; a range point or a number of a list of numbers as a
    // double.
    InputValue value(std::size_t i) const;
    // Value i as a number, for the outputs: a list item read by the field
    // rule, a range point or a listed number itself.
    double number(std::size_t i) const;
};

// Reads NAME=VALUES. `name_known` says whether a name may be varied, or
// throws its own std::invalid_argument; it is asked before the values are
// read. Throws std::invalid_argument for an unknown name, an empty list or
// item, a count below 1 or above 1000000000, a bound that is not a number, a
// log range whose bounds are not both above 0, or a range with points that
// are not finite. A message about the values starts with the axis's name
// ("Vf: the list of values is empty"), so that a front end can put its own
// words before it.
SweepAxis parse_sweep_axis(const std::string& argument,
                           const std::function<bool(const std::string&)>& name_known);

// The most runs a sweep may have.
inline constexpr std::size_t max_sweep_runs = 1000000000;

// The runs of a sweep: every combination of the axes, the first varying
// slowest, or with `zip` the i-th value of every axis together.
class SweepPlan {
  public:
    // Throws std::invalid_argument for no axis, an axis of no values, a range
    // parse_sweep_axis would refuse, zipped axes that differ in length, or
    // more than max_sweep_runs runs. Builds nothing proportional to the runs.
    SweepPlan(const std::vector<SweepAxis>& axes, bool zip);
    std::size_t runs() const { return runs_; }
    // Which value of each axis run r (from 0) takes.
    std::vector<std::size_t> value_indices(std::size_t r) const;

  private:
    std::vector<std::size_t> sizes_;
    bool zip_ = false;
    std::size_t runs_ = 0;
};

// Computes runs 0 .. count-1 on `jobs` threads and hands each result to
// `consume` on the calling thread, in run order. At most a few results per
// thread wait to be consumed, so memory stays bounded however many runs
// there are. Each thread has its own Scratch, which `compute` may keep
// between the runs it computes. When `consume` returns false or `stop`
// returns true, no further run starts; the runs under way still finish and
// are consumed (unless consume has returned false). Returns the number of
// runs consumed.
template <typename Result, typename Scratch>
std::size_t run_in_order(std::size_t count, int jobs,
                         const std::function<Result(std::size_t, Scratch&)>& compute,
                         const std::function<bool(Result&&)>& consume,
                         const std::function<bool()>& stop) {
    if (jobs < 1) jobs = 1;
    const std::size_t ahead = 2 * static_cast<std::size_t>(jobs) + 2;
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::size_t, Result> done;
    std::size_t next_start = 0;
    std::size_t next_consume = 0;
    bool ending = false;
    int workers_left = jobs;

    const auto work = [&] {
        Scratch scratch;
        for (;;) {
            std::size_t r;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return ending || next_start - next_consume < ahead; });
                if (ending || next_start >= count) break;
                r = next_start++;
            }
            Result result = compute(r, scratch);
            {
                std::lock_guard lock(mutex);
                done.emplace(r, std::move(result));
            }
            changed.notify_all();
        }
        {
            std::lock_guard lock(mutex);
            --workers_left;
        }
        changed.notify_all();
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < jobs; ++t) threads.emplace_back(work);

    for (;;) {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(50),
                         [&] { return done.count(next_consume) != 0 || workers_left == 0; });
        if (!ending && stop && stop()) ending = true;
        const auto it = done.find(next_consume);
        if (it == done.end()) {
            if (workers_left == 0) break;
            if (ending) changed.notify_all();
            continue;
        }
        Result result = std::move(it->second);
        done.erase(it);
        lock.unlock();
        const bool go_on = consume(std::move(result));
        {
            std::lock_guard relock(mutex);
            ++next_consume;
            if (!go_on) ending = true;
        }
        changed.notify_all();
        if (!go_on) break;
    }
    {
        std::lock_guard lock(mutex);
        ending = true;
    }
    changed.notify_all();
    for (std::thread& t : threads) t.join();
    return next_consume;
}

}  // namespace quarnel
