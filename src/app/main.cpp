// vantrel: the desktop application.
#include <QApplication>
#include <QIcon>
#include <QFileInfo>
#include <QPointer>

#include <cstdio>
#include <cstring>

#include "job/Encoders.h"
#include "ui/Dialogs.h"
#include "ui/MainForm.h"
#include "ui/ProdInfo.h"
#include "ui/RegLib.h"

namespace {

using namespace vantrel;
using namespace vantrel::ui;

// Errors no command handles end here: a box captioned with the product
// name, the message ended by "." unless it ends in a character at or below
// "." already.
class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      ShowApplicationError(activeWindow(), QString::fromUtf8(e.what()));
    }
    return false;
  }
};

// Encoder options kept in the settings, like a codec's own configuration.
class TSettingsOptionStore final : public ICompressorOptionStore {
 public:
  std::map<std::string, std::string> Get(const std::string& encoder) override {
    std::map<std::string, std::string> values;
    QSettings& s = AppSettings();
    s.beginGroup("compressors/" + QString::fromStdString(encoder));
    for (const QString& key : s.childKeys()) values[key.toStdString()] = s.value(key).toString().toStdString();
    s.endGroup();
    return values;
  }
  void Set(const std::string& encoder, const std::map<std::string, std::string>& values) override {
    QSettings& s = AppSettings();
    s.remove("compressors/" + QString::fromStdString(encoder));
    for (const auto& [k, v] : values)
      s.setValue("compressors/" + QString::fromStdString(encoder) + "/" + QString::fromStdString(k),
                 QString::fromStdString(v));
  }
};

const char* const kUsage =
    "Usage: vantrel [--highlight-differences] [FILE... | PROJECT.qmf]\n"
    "\n"
    "The desktop application: lists the FILEs to join, or opens the project\n"
    "PROJECT.qmf. Qt's own options, such as -platform, are accepted too.\n"
    "  --highlight-differences  start with the cells that differ from the first\n"
    "                    file highlighted\n"
    "  -h, --help        print this help and exit\n"
    "  --version         print the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before Qt starts, so that they need no display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("vantrel %s\n", ProductInfo().Version.toUtf8().constData());
      return 0;
    }
  }
  TApplication app(argc, argv);
  app.setApplicationName(ProductInfo().ProductName);
  app.setApplicationDisplayName(ProductInfo().ProductName);
  app.setWindowIcon(QIcon::fromTheme("vantrel", QIcon(":/vantrel.svg")));
  KeepEncoderOptionsIn(std::make_shared<TSettingsOptionStore>());

  auto main = std::make_unique<TfrmMain>();
  main->show();

  // Files named on the command line are added as dropped files are;
  // --highlight-differences starts with the differences highlighted.
  QStringList files = app.arguments().mid(1);
  if (files.removeAll("--highlight-differences") > 0) main->SetHighlight(true);
  // A project named on the command line is opened as a project.
  if (files.size() == 1 && files.front().endsWith(".qmf", Qt::CaseInsensitive)) {
    try {
      main->LoadProject(QFileInfo(files.front()).absoluteFilePath());
    } catch (const std::exception& e) {
      ShowApplicationError(main.get(), QString::fromUtf8(e.what()));
    }
  } else if (!files.isEmpty()) {
    main->AddDroppedFiles(files);
  }

  int rc = app.exec();
  main.reset();  // writes the settings
  return rc;
}
