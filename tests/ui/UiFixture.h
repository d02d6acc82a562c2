// Shared set-up of the widget tests: sample files made once with ffmpeg,
// a temporary settings file, and recorders for message boxes and dialogs.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "ui/Dialogs.h"

namespace vantrel::test {

struct Message {
  QString text;
  ui::TMsgKind kind;
  ui::TMsgButtons buttons;
};

// Sample media, made once per test program.
struct Samples {
  std::string a, b, c, d;     // AVI MPEG-4 + MP3, 320x240 at 25 fps
  std::string big;            // AVI 640x480 at 25 fps
  std::string mpegA, mpegB;   // MPEG-1 system streams; B without sound
  std::string wmv;            // ASF
  std::string dir;
};
const Samples& SampleFiles();

// Installs the seams for one test and removes them afterwards.
class UiSeams {
 public:
  UiSeams();
  ~UiSeams();
  std::vector<Message> messages;
  std::vector<ui::TMsgResult> answers;  // given in order; Ok/No when they run out
  TempDir settingsDir;
};

}  // namespace vantrel::test
