// Helpers of the hardening tests: running a piece of work in a child process
// under resource limits with a watchdog, watching its largest allocation,
// and building hostile files.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantrel::test {

inline constexpr size_t kMiB = size_t{1} << 20;

struct ChildLimits {
  // RLIMIT_FSIZE in bytes (SIGXFSZ ignored, so writes past it fail with
  // EFBIG); negative: no limit.
  int64_t fileSize = -1;
  // Address space allowed above what the child has when it starts
  // (RLIMIT_AS); not applied under AddressSanitizer, whose shadow memory
  // needs far more. Zero: no limit.
  size_t extraAddressSpace = 512 * kMiB;
  // The child is killed after this long: only a hang takes that long.
  int watchdogSeconds = 90;
};

struct ChildResult {
  bool exited = false;     // ended by itself, with exitCode
  bool timedOut = false;   // killed by the watchdog
  int exitCode = -1;
  int signal = 0;          // the signal that ended it
  std::string report;      // what the work returned
  size_t largestAllocation = 0;
  std::string Describe() const;
};

// Runs work in a forked child under limits; the child's allocations are
// watched, and work's return value comes back as the report. An exception
// escaping work is reported as "uncaught: <text>" with exit code 3.
ChildResult RunInChild(const std::function<std::string()>& work, const ChildLimits& limits = {});

// The largest single allocation request seen in this process since the
// last reset.
size_t LargestAllocation();
void ResetLargestAllocation();

// How many of this process's file descriptors are open on path.
int OpenDescriptorsTo(const std::string& path);

// Writes head and extends the file to size without writing the rest (a
// sparse file: its size costs no disk).
void MakeSparseFile(const std::string& path, const std::vector<uint8_t>& head, int64_t size);

// The text of the vantrel::Exception fn raises, "" when it returns; other
// exceptions pass through.
std::string MessageOf(const std::function<void()>& fn);

// An MPEG-1 system stream of packs, each with a 2000-byte video packet and
// a 500-byte sound packet (2534 bytes per pack), without an end code.
std::vector<uint8_t> SystemStream(uint8_t seed, int packs);

// ffprobe -v error reading every packet of file: its stderr (empty for a
// clean file), exit status, and the packets and bytes per kind of stream.
struct ProbeOutcome {
  int exitCode = -1;
  std::string errors;
  size_t videoPackets = 0;
  size_t audioPackets = 0;
  uint64_t videoBytes = 0;
  uint64_t audioBytes = 0;
};
ProbeOutcome FfprobeAllPackets(const std::string& file);

}  // namespace vantrel::test
