#include <gtest/gtest.h>

#include <string>

#include "imaging/D3DDevice.h"
#include "imaging/ImageCacheDirectX.h"
#include "infra/TextEncoding.h"
#include "support/ProgramDirectoryTest.h"

namespace {

class LogEncodingPosixTest : public ProgramDirectoryTest {};

// A name with a byte that is not UTF-8 (which Linux file systems hold and
// Windows' do not) is logged with that byte escaped, the rest as Shift-JIS.
TEST_F(LogEncodingPosixTest, ANameWithAByteOutsideUtf8IsLoggedEscaped) {
  const std::string picture = PathOf("壊れた\xFF.gif");
  WriteWholeFile(picture, "GIF89a and nothing more");
  D3DDevice::Initialize();
  ImageCacheDirectX signature;
  EXPECT_FALSE(signature.LoadImage(picture));
  D3DDevice::Shutdown();
  const std::string shown = Cp932ToUtf8(LogText());
  EXPECT_EQ(std::string::npos, shown.find("\xEF\xBF\xBD")) << shown;
  EXPECT_NE(std::string::npos, shown.find(PathOf("壊れた\\x{FF}.gif"))) << shown;
}

}  // namespace
