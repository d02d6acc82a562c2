// Product constants: name, version, settings location and the maker's
// addresses.
#pragma once

#include <QString>

namespace vantrel::ui {

struct TProductInfo {
  QString ProductName;
  QString Version;
  QString RegistryKey;   // organisation and application of the settings
  QString WebSiteURL;
  QString ContactsURL;   // may be empty
  QString Copyright;
};

const TProductInfo& ProductInfo();

// QSettings("oskendel", "corvale"), where everything is kept.
inline constexpr const char* kSettingsOrganization = "oskendel";
inline constexpr const char* kSettingsApplication = "corvale";

}  // namespace vantrel::ui
