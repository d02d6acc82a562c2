// Settings persistence.
#include "ui/RegLib.h"

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
  if (s.status() != QSettings::NoError) throw Exception("Failed to set data for '" + name.toStdString() + "'");
}

void RestoreFormPlacement(QSettings& s, QWidget& w, bool positionOnly) {
  bool has = false;
  int top = ReadInt(s, FormKey(w, "Top"), "Top", has);
  if (has) w.move(w.x(), top);
  int left = ReadInt(s, FormKey(w, "Left"), "Left", has);
  if (has) w.move(left, w.y());
  if (positionOnly) return;
  int width = ReadInt(s, FormKey(w, "Width"), "Width", has);
  if (has) w.resize(width, w.height());
  int height = ReadInt(s, FormKey(w, "Height"), "Height", has);
  if (has) w.resize(w.width(), height);
  int state = ReadInt(s, FormKey(w, "WindowState"), "WindowState", has);
  if (has && state == 0) w.setWindowState(w.windowState() & ~Qt::WindowMaximized);
  if (has && state == 1) w.setWindowState(w.windowState() | Qt::WindowMaximized);
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
