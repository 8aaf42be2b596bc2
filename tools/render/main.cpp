// qbfx-render: renders audio offline through a VST 2 plug-in.
#include "Render.h"

#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return qbfx::render::RunRender(args, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
