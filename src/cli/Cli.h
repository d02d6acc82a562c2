// The command line front end: parses arguments and runs the engines.
#pragma once

namespace vantrel::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// The join ended, but an input gave less than it promised (cut short,
// damaged): the output lacks it.
inline constexpr int kExitDamaged = 3;
inline constexpr int kExitCancelled = 130;

int Main(int argc, char** argv);

}  // namespace vantrel::cli
