// The media-service result check.
#include "dshow/DSErrors.h"

#include <gtest/gtest.h>

#include "base/Exceptions.h"

namespace vantrel {
namespace {

TEST(DSCheck, MessageIsUpperCaseHexWithoutLeadingZeros) {
  EXPECT_NO_THROW(DSCheck(0));
  struct {
    HRESULT hr;
    const char* text;
  } cases[] = {{1, "DirectShow Error: 1"},
               {static_cast<HRESULT>(0x8004022Fu), "DirectShow Error: 8004022F"},
               {-0x41444E49, "DirectShow Error: BEBBB1B7"},  // FFmpeg's "invalid data"
               {0x00ABCDEF, "DirectShow Error: ABCDEF"},
               {-1, "DirectShow Error: FFFFFFFF"}};
  for (const auto& c : cases) {
    try {
      DSCheck(c.hr);
      FAIL() << c.text;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
  }
}

}  // namespace
}  // namespace vantrel
