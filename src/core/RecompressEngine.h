// The recompressing engine (on the media framework) behind the engine
// interface. Linked from vantrel_core_media, with the media detector's probe.
#pragma once

#include "core/CopyEngines.h"
#include "core/JoinEngine.h"

namespace vantrel {

std::unique_ptr<IJoinEngine> MakeRecompressEngine();
// Stream copy of MP4, MOV, Matroska, WebM, MPEG-TS, MPEG-PS and FLV files
// with identical streams.
std::unique_ptr<IJoinEngine> MakeRemuxEngine();
struct TRemuxReport;
// What a container copy wrote and read back, as the job reports it.
TJoinReport JoinReportOf(const TRemuxReport& done);
// Every engine: the AVI and MPEG-1 copy engines, the container copy, then
// recompression.
TJoinEngines AllEngines();

}  // namespace vantrel
