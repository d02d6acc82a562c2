// The About box: icon, product name, version, the maker's two addresses as
// links, and the copyright line.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "ui/ProdInfo.h"

namespace vantrel::ui {

class TAboutForm : public QDialog {
  Q_OBJECT
 public:
  TAboutForm(QWidget* owner, const TProductInfo& info);

  QLabel* ProductImage;
  QLabel* lblProduct;
  QLabel* lblVersion;
  QLabel* Label2;
  QLabel* lblMail;
  QLabel* Label3;
  QLabel* lblSite;
  QFrame* Bevel1;
  QLabel* lblCopyright;
  QPushButton* btnClose;

  // Tests see where a click would go instead of a browser opening.
  static std::function<void(const QString&)> OpenUrlHook;
  void lblSiteClick();
  void lblMailClick();

 private:
  TProductInfo info_;
};

// Shows the box modally for the product information.
void ShowAbout(QWidget* owner, const TProductInfo& info);

}  // namespace vantrel::ui
