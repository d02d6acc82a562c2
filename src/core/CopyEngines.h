// The stream-copy engines that need no media framework: AVI and MPEG-1.
#pragma once

#include "core/JoinEngine.h"

namespace vantrel {

std::unique_ptr<IJoinEngine> MakeAVIEngine();
std::unique_ptr<IJoinEngine> MakeMPEGEngine();
// Both, in the order the job asks them.
void AddCopyEngines(TJoinEngines& engines);
// For a join without recompression of these files: a note when some AVI
// file's sound cannot be padded or cut to its video (so later files' sound
// is shifted); empty when there is nothing to say.
std::string SoundSyncNote(const std::vector<std::string>& files, bool withoutSound, bool exact);

}  // namespace vantrel
