#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/input_texts.h"
#include "engine/bridging_law.h"
#include "run/result_file.h"
#include "study/criteria.h"

namespace quarnel {

// One law computed by the classic run and written as it goes: its result
// file and, when asked, the steps as CSV and JSON lines. The single run and
// the fit's fitted law both write their result file through it.
struct LawFilesRequest {
    InputTexts inputs;
    std::optional<std::vector<double>> openings;  // none: the "Division" scheme
    std::string output;                           // the result file
    std::string csv;                              // empty: none
    bool json = false;
    std::optional<ClockReading> at;  // none: now
    bool progress = false;           // the run's status texts on a terminal
    std::string program;             // the prefix of messages: "quarnel-batch: "
    // How the result's criteria are formed; none: from the steps, without
    // margins.
    std::optional<CriteriaSettings> criteria;
};

struct LawFilesResult {
    // exit_ok when every step was written; else the status to exit with,
    // after the messages were given.
    int status = 0;
    int rows = 0;
    StepValues last;
    LawCriteria criteria;  // when every step was written
};

LawFilesResult write_law_files(const LawFilesRequest& request, const MatrixProperties& matrix);

}  // namespace quarnel
