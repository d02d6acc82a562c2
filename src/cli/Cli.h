// The command line front end: parses arguments and runs the engines.
#pragma once

namespace vantrel::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCancelled = 130;

int Main(int argc, char** argv);

}  // namespace vantrel::cli
