// Reading a joined file back without decoding and comparing it with what
// the join wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

struct TRemuxWritten {
  std::vector<int64_t> Packets;  // per output stream, in stream order
  double Duration = 0;           // seconds
};

// True when the file was read back and matches. QuickTime-family files are
// checked by their index; other containers only with full set (every
// packet header read), else false. Raises when the file does not match.
bool VerifyRemuxOutput(const std::string& fileName, const TRemuxWritten& written, bool full);

}  // namespace vantrel
