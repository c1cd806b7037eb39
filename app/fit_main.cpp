#include <string>
#include <vector>

#include "app/fit_command.h"

int main(int argc, char** argv) {
    // Called as quarnel-batch-fit ARGS, the arguments that follow "fit".
    return quarnel::fit_command_main(
        std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
