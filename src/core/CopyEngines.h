// The stream-copy engines that need no media framework: AVI and MPEG-1.
#pragma once

#include "core/JoinEngine.h"

namespace vantrel {

std::unique_ptr<IJoinEngine> MakeAVIEngine();
std::unique_ptr<IJoinEngine> MakeMPEGEngine();
// Both, in the order the job asks them.
void AddCopyEngines(TJoinEngines& engines);
}  // namespace vantrel
