#include "progress.h"

namespace quarnel {

std::string model_setting_text(int level) {
    return "Model setting" + std::string(level < 0 ? "" : " ") + std::to_string(level) + "%";
}

std::string step_text(int n) {
    return "Calculating for Step" + std::string(n < 0 ? "" : " ") + std::to_string(n);
}

}  // namespace quarnel
