// About box.
#include "ui/About.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

namespace vantrel::ui {

std::function<void(const QString&)> TAboutForm::OpenUrlHook;

namespace {

void OpenUrl(const QString& url) {
  if (TAboutForm::OpenUrlHook)
    TAboutForm::OpenUrlHook(url);
  else
    QDesktopServices::openUrl(QUrl(url));
}

QLabel* Link(QWidget* parent, const QString& text, int x, int y, std::function<void()> click) {
  auto* l = new QLabel(parent);
  l->setText("<a href=\"#\" style=\"color: blue;\">" + text.toHtmlEscaped() + "</a>");
  l->setTextFormat(Qt::RichText);
  l->setCursor(Qt::PointingHandCursor);
  l->move(x, y);
  QObject::connect(l, &QLabel::linkActivated, parent, [click](const QString&) { click(); });
  return l;
}

}  // namespace

TAboutForm::TAboutForm(QWidget* owner, const TProductInfo& info) : QDialog(owner), info_(info) {
  setWindowTitle("About");
  setFixedSize(352, 243);
  ProductImage = new QLabel(this);
  ProductImage->setGeometry(18, 16, 32, 32);
  ProductImage->setPixmap(QApplication::windowIcon().pixmap(32, 32));

  lblProduct = new QLabel(info_.ProductName, this);
  lblProduct->move(70, 16);
  QFont f("Arial", 20);
  f.setBold(true);
  f.setUnderline(true);
  lblProduct->setFont(f);
  lblProduct->adjustSize();
  // Smaller until the name fits 260 x 35.
  while ((lblProduct->width() > 260 || lblProduct->height() > 35) && f.pointSize() > 1) {
    f.setPointSize(f.pointSize() - 1);
    lblProduct->setFont(f);
    lblProduct->adjustSize();
  }

  lblVersion = new QLabel("Version: " + info_.Version, this);
  QFont v("Arial", 9);
  v.setBold(true);
  lblVersion->setFont(v);
  lblVersion->move(70, 58);
  lblVersion->adjustSize();

  Label2 = new QLabel("Contacts:", this);
  Label2->move(70, 117);
  lblMail = Link(this, info_.ContactsURL, 130, 117, [this] { lblMailClick(); });
  lblMail->adjustSize();
  if (info_.ContactsURL.isEmpty()) {
    Label2->hide();
    lblMail->hide();
  }
  Label3 = new QLabel("Website:", this);
  Label3->move(70, 142);
  lblSite = Link(this, info_.WebSiteURL, 130, 142, [this] { lblSiteClick(); });
  lblSite->adjustSize();

  Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(26, 167, 300, 2);

  lblCopyright = new QLabel(info_.Copyright, this);
  lblCopyright->setFont(QFont("Arial", 8));
  lblCopyright->setAlignment(Qt::AlignCenter);
  lblCopyright->setGeometry(0, 174, 352, 14);

  btnClose = new QPushButton("Close", this);
  btnClose->setGeometry(139, 206, 75, 25);
  btnClose->setDefault(true);
  btnClose->setAutoDefault(true);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
  if (owner) move(owner->geometry().center() - rect().center());
}

void TAboutForm::lblSiteClick() { OpenUrl(info_.WebSiteURL); }
void TAboutForm::lblMailClick() { OpenUrl(info_.ContactsURL); }

void ShowAbout(QWidget* owner, const TProductInfo& info) {
  TAboutForm box(owner, info);
  box.exec();
}

}  // namespace vantrel::ui
