// Settings kept between runs: strings and a window's placement, in QSettings.
#pragma once

#include <QSettings>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

namespace vantrel::ui {

// The settings every part of the application uses. Tests point it at a
// temporary file.
QSettings& AppSettings();
void SetAppSettingsFile(const QString& iniFile);

// The value, or empty when it does not exist; "Invalid data type for '%s'"
// when it is not text.
QString ReadRegString(QSettings& s, const QString& name);
void WriteRegString(QSettings& s, const QString& name, const QString& value);

// Placement under "forms/<window's object name>/": Top, Left, Width,
// Height, WindowState (0 normal, 1 maximised).
// A value that does not convert raises, or with problems is noted there
// (its default kept) and the others still apply.
void RestoreFormPlacement(QSettings& s, QWidget& w, bool positionOnly, std::vector<std::string>* problems = nullptr);
void SaveFormPlacement(QSettings& s, QWidget& w);

}  // namespace vantrel::ui
