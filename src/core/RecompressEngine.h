// The recompressing engine (on the media framework) behind the engine
// interface. Linked from vantrel_core_media, with the media detector's probe.
#pragma once

#include "core/CopyEngines.h"
#include "core/JoinEngine.h"

namespace vantrel {

std::unique_ptr<IJoinEngine> MakeRecompressEngine();
// Every engine: the copy engines, then recompression.
TJoinEngines AllEngines();

}  // namespace vantrel
