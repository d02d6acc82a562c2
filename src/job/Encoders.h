// This machine's encoders, as the plan and the front ends ask for them:
// the catalogue the plan reads (what there is, what each container takes,
// the frame sizes an encoder refuses), and the options of each encoder that
// the join options dialog edits and keeps.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "plan/EncoderCatalog.h"
#include "recompress/Compressors.h"

namespace vantrel {

// The media framework's encoders; linked with it (vantrel_job).
const IEncoderCatalog& MachineEncoders();

// The main options of an encoder (bit rate, quality or constant-rate
// factor, key-frame interval, preset), those it has; empty when none.
std::vector<TEncoderOption> EncoderSettings(const std::string& encoder);

// The option values chosen per encoder: the desktop application keeps them
// in its settings (SetCompressorOptionStore), the command line takes them
// from its arguments.
std::map<std::string, std::string> StoredEncoderOptions(const std::string& encoder);
void StoreEncoderOptions(const std::string& encoder, const std::map<std::string, std::string>& values);
void KeepEncoderOptionsIn(std::shared_ptr<ICompressorOptionStore> store);

}  // namespace vantrel
