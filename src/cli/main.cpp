// Entry point of vantrel-cli.
#include "cli/Cli.h"

int main(int argc, char** argv) { return vantrel::cli::Main(argc, argv); }
