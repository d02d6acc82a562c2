// About box.
#include "ui/About.h"

#include <QApplication>
#include "ui/Dialogs.h"
#include <QGridLayout>
#include <QVBoxLayout>
#include <QDesktopServices>
#include <QUrl>

namespace vantrel::ui {

std::function<void(const QString&)> TAboutForm::OpenUrlHook;

namespace {

void OpenUrl(const QString& url) {
  if (TAboutForm::OpenUrlHook)
    TAboutForm::OpenUrlHook(url);
  else
    OpenWithDesktop(nullptr, QUrl(url), "the address");
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
  setMinimumSize(352, 243);
  ProductImage = new QLabel(this);
  ProductImage->setPixmap(QApplication::windowIcon().pixmap(32, 32));
  ProductImage->setFixedSize(32, 32);

  lblProduct = new QLabel(info_.ProductName, this);
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
  QFont v = font();
  v.setBold(true);
  lblVersion->setFont(v);

  Label2 = new QLabel("Contacts:", this);
  lblMail = Link(this, info_.ContactsURL, 0, 0, [this] { lblMailClick(); });
  if (info_.ContactsURL.isEmpty()) {
    Label2->hide();
    lblMail->hide();
  }
  Label3 = new QLabel("Website:", this);
  lblSite = Link(this, info_.WebSiteURL, 0, 0, [this] { lblSiteClick(); });

  Bevel1 = new QFrame(this);
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);

  lblCopyright = new QLabel(info_.Copyright, this);
  lblCopyright->setAlignment(Qt::AlignCenter);

  btnClose = new QPushButton("Close", this);
  btnClose->setDefault(true);
  btnClose->setAutoDefault(true);

  auto* grid = new QGridLayout;
  grid->addWidget(ProductImage, 0, 0, 2, 1, Qt::AlignTop);
  grid->addWidget(lblProduct, 0, 1, 1, 2);
  grid->addWidget(lblVersion, 1, 1, 1, 2);
  grid->setRowMinimumHeight(2, 20);
  grid->addWidget(Label2, 3, 1);
  grid->addWidget(lblMail, 3, 2);
  grid->addWidget(Label3, 4, 1);
  grid->addWidget(lblSite, 4, 2);
  grid->setColumnStretch(2, 1);
  auto* page = new QVBoxLayout(this);
  page->addLayout(grid);
  page->addStretch();
  page->addWidget(Bevel1);
  page->addWidget(lblCopyright);
  page->addWidget(btnClose, 0, Qt::AlignHCenter);
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
