// Settings persistence.
#include "ui/RegLib.h"

#include <functional>
#include <memory>

#include "base/Exceptions.h"
#include "ui/ProdInfo.h"

namespace vantrel::ui {
namespace {

std::unique_ptr<QSettings>& Slot() {
  static std::unique_ptr<QSettings> s;
  return s;
}

[[noreturn]] void InvalidType(const QString& name) {
  throw Exception("Invalid data type for '" + name.toStdString() + "'");
}

int ReadInt(QSettings& s, const QString& key, const QString& name, bool& exists) {
  exists = s.contains(key);
  if (!exists) return 0;
  QVariant v = s.value(key);
  bool ok = false;
  int n = v.toInt(&ok);
  if (!ok) InvalidType(name);
  return n;
}

QString FormKey(const QWidget& w, const char* name) { return "forms/" + w.objectName() + "/" + name; }

}  // namespace

QSettings& AppSettings() {
  if (!Slot()) Slot() = std::make_unique<QSettings>(kSettingsOrganization, kSettingsApplication);
  return *Slot();
}

void SetAppSettingsFile(const QString& iniFile) { Slot() = std::make_unique<QSettings>(iniFile, QSettings::IniFormat); }

QString ReadRegString(QSettings& s, const QString& name) {
  if (!s.contains(name)) return QString();
  QVariant v = s.value(name);
  if (!v.canConvert<QString>() || v.typeId() == QMetaType::QStringList) InvalidType(name);
  return v.toString();
}

void WriteRegString(QSettings& s, const QString& name, const QString& value) {
  s.setValue(name, value);
  // Only a write error counts: a file that could not be read (FormatError)
  // is simply written anew.
  if (s.status() == QSettings::AccessError) throw Exception("Failed to set data for '" + name.toStdString() + "'");
}

void RestoreFormPlacement(QSettings& s, QWidget& w, bool positionOnly, std::vector<std::string>* problems) {
  // Each value on its own: one that does not convert keeps its default and
  // the others still apply.
  auto read = [&](const char* name, const std::function<void(int)>& apply) {
    try {
      bool has = false;
      int v = ReadInt(s, FormKey(w, name), name, has);
      if (has) apply(v);
    } catch (const Exception& e) {
      if (!problems) throw;
      problems->push_back(e.what());
    }
  };
  read("Top", [&](int v) { w.move(w.x(), v); });
  read("Left", [&](int v) { w.move(v, w.y()); });
  if (positionOnly) return;
  read("Width", [&](int v) { w.resize(v, w.height()); });
  read("Height", [&](int v) { w.resize(w.width(), v); });
  read("WindowState", [&](int v) {
    if (v == 0) w.setWindowState(w.windowState() & ~Qt::WindowMaximized);
    if (v == 1) w.setWindowState(w.windowState() | Qt::WindowMaximized);
  });
}

void SaveFormPlacement(QSettings& s, QWidget& w) {
  if (w.windowState() & Qt::WindowMinimized) return;
  if (w.windowState() & Qt::WindowMaximized) {
    s.setValue(FormKey(w, "WindowState"), 1);
    return;
  }
  s.setValue(FormKey(w, "Top"), w.y());
  s.setValue(FormKey(w, "Left"), w.x());
  s.setValue(FormKey(w, "Width"), w.width());
  s.setValue(FormKey(w, "Height"), w.height());
  s.setValue(FormKey(w, "WindowState"), 0);
}

}  // namespace vantrel::ui
