#pragma once

#include <string>

namespace quarnel {

// Where the engine sends its status texts and its yields to the event loop.
// A yield returns false when the run must stop at once (the program is
// ending); the engine then returns without finishing.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual void show_status(const std::string& text) = 0;
    virtual bool yield() = 0;
};

// For callers without a window: texts and yields go nowhere.
class SilentProgress final : public ProgressSink {
  public:
    void show_status(const std::string&) override {}
    bool yield() override { return true; }
};

// The progress texts: the integer after one blank, the place of its sign.
std::string model_setting_text(int level);  // "Model setting 5%"
std::string step_text(int n);               // "Calculating for Step 5"

}  // namespace quarnel
