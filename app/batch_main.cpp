#include "batch_command.h"

int main(int argc, char** argv) {
    return quarnel::run_batch_command(argc, argv);
}
