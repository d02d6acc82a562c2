// Fuzz target of the HEVC parameter set records: the copied files' hvcC
// comes from the user's files. Any bytes read as a record, as a sample and
// as one NAL unit never read past their end; a record given new ids
// declares exactly those, reads back as written, and merges with the
// original without an id naming two sets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ffmpeg/HevcSets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantrel::av;
  const std::vector<uint8_t> bytes(data, data + size);
  const THevcIds ids = {1, 1, 15};
  std::vector<uint8_t> out;
  RenumberHevcNal(data, size, ids, out);
  out.clear();
  RenumberHevcSample(data, size, 4, ids, out);

  THevcConfig c;
  if (!ParseHevcConfig(bytes, c)) return 0;
  const std::vector<uint8_t> written = WriteHevcConfig(c);
  THevcConfig again;
  if (!ParseHevcConfig(written, again) || WriteHevcConfig(again) != written) std::abort();
  const THevcIdsUsed used = HevcIdsOf(c);
  THevcIds free;
  if (!used.Pps.empty()) FreeHevcIds(used, *used.Pps.begin(), free);

  std::vector<uint8_t> renumbered;
  if (!RenumberHevcConfig(bytes, ids, renumbered)) return 0;
  THevcConfig r;
  if (!ParseHevcConfig(renumbered, r)) std::abort();
  const THevcIdsUsed now = HevcIdsOf(r);
  if (now.Vps != std::set<int>{ids.Vps} || now.Sps != std::set<int>{ids.Sps} || now.Pps != std::set<int>{ids.Pps})
    std::abort();
  std::vector<uint8_t> merged = bytes;
  if (MergeHevcConfig(merged, renumbered)) {
    THevcConfig m;
    if (!ParseHevcConfig(merged, m)) std::abort();
  }
  return 0;
}
