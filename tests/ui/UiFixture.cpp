// Shared set-up of the widget tests.
#include "UiFixture.h"

#include <gtest/gtest.h>

#include "ui/JoinForm.h"
#include "ui/RegLib.h"

namespace vantrel::test {
namespace {

std::string Make(const std::string& dir, const char* name, std::vector<std::string> args) {
  std::string out = dir + "/" + name;
  std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back(out);
  auto r = Run(argv);
  if (r.exitCode != 0) ADD_FAILURE() << r.err;
  return out;
}

}  // namespace

const Samples& SampleFiles() {
  static TempDir* dir = new TempDir;  // lives for the whole test program
  static Samples s = [] {
    Samples x;
    x.dir = dir->Path();
    auto avi = [&](const char* name, const char* size, const char* freq) {
      return Make(x.dir, name,
                  {"-f", "lavfi", "-i", std::string("testsrc=size=") + size + ":rate=25:duration=1", "-f", "lavfi", "-i",
                   std::string("sine=frequency=") + freq + ":sample_rate=44100:duration=1", "-c:v", "mpeg4", "-c:a",
                   "libmp3lame"});
    };
    x.a = avi("A.avi", "320x240", "440");
    x.b = avi("B.avi", "320x240", "550");
    x.c = avi("C.avi", "320x240", "660");
    x.d = avi("D.avi", "320x240", "770");
    x.big = avi("Big.avi", "640x480", "880");
    x.mpegA = Make(x.dir, "MA.mpg",
                   {"-f", "lavfi", "-i", "testsrc=size=352x288:rate=25:duration=1", "-f", "lavfi", "-i",
                    "sine=sample_rate=44100:duration=1", "-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"});
    x.mpegB = Make(x.dir, "MB.mpg",
                   {"-f", "lavfi", "-i", "testsrc=size=352x288:rate=25:duration=1", "-c:v", "mpeg1video", "-f", "mpeg"});
    x.wmv = Make(x.dir, "W.wmv",
                 {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=1", "-f", "lavfi", "-i",
                  "sine=sample_rate=44100:duration=1", "-c:v", "wmv2", "-c:a", "wmav2"});
    return x;
  }();
  return s;
}

UiSeams::UiSeams() {
  ui::SetAppSettingsFile(QString::fromStdString(settingsDir.File("settings.ini")));
  ui::SetMessageHook([this](const QString& text, ui::TMsgKind kind, ui::TMsgButtons buttons) {
    messages.push_back({text, kind, buttons});
    if (!answers.empty()) {
      ui::TMsgResult r = answers.front();
      answers.erase(answers.begin());
      return r;
    }
    return buttons == ui::TMsgButtons::Ok ? ui::TMsgResult::Ok : ui::TMsgResult::No;
  });
}

UiSeams::~UiSeams() {
  ui::SetMessageHook({});
  ui::SetFileDialogHook({});
  ui::TfrmJoin::ExecHook = {};
}

}  // namespace vantrel::test
