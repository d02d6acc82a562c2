// Product constants.
#include "ui/ProdInfo.h"

namespace vantrel::ui {

const TProductInfo& ProductInfo() {
  static const TProductInfo info{
      "Vantrel",
      "2.10",
      "\\Software\\oskendel\\corvale",
      "https://vantrel.org/",
      "https://vantrel.org/contact",
      "Copyright (c) 2026 The Vantrel developers",
  };
  return info;
}

}  // namespace vantrel::ui
