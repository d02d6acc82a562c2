// The media-service result check.
#include "ffmpeg/DSErrors.h"

#include <gtest/gtest.h>

#include "base/Exceptions.h"

namespace vantrel {
namespace {

TEST(DSCheck, MessageIsUpperCaseHexWithoutLeadingZerosThenItsMeaning) {
  EXPECT_NO_THROW(DSCheck(0));
  struct {
    HRESULT hr;
    const char* text;
  } cases[] = {{1, "DirectShow Error: 1"},
               {static_cast<HRESULT>(0x8004022Fu), "DirectShow Error: 8004022F (no stream of the file can be decoded)"},
               {-0x41444E49, "DirectShow Error: BEBBB1B7 (Invalid data found when processing input)"},
               {0x00ABCDEF, "DirectShow Error: ABCDEF"},
               {-2, "DirectShow Error: FFFFFFFE (No such file or directory)"},
               {static_cast<HRESULT>(0x80001234u), "DirectShow Error: 80001234"}};
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
