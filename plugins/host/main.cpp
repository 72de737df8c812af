// ov-pluginhost: Orvia's out-of-process audio plug-in host. A windowed program on Windows;
// Orvia talks to it through its standard input and output.
#include "platform/stdio.h"
#include "run.h"

int main(int argc, char** argv) { return ovhost::run(ovplat::program_arguments(argc, argv)); }
