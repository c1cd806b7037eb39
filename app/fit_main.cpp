#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/fit_command.h"

int main(int argc, char** argv) {
    // Called as quarnel-batch-fit ARGS, the arguments that follow "fit".
    return quarnel::fit_command_main(quarnel::program_arguments(argc, argv));
}
