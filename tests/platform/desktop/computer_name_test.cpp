#include "platform/desktop/computer_name.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace dac {
namespace {

TEST(ComputerName, FitsTheSixteenCharacterBuffer) {
  EXPECT_EQ(FitComputerName("build-machine-0042"), "build-machine-0");
  EXPECT_EQ(FitComputerName("exactly15chars_").size(), 15u);
  EXPECT_EQ(FitComputerName("exactly15chars_"), "exactly15chars_");
  EXPECT_EQ(FitComputerName("short"), "short");
  // A domain part is not part of the computer name, and the name is cut
  // after the domain is gone, not before.
  EXPECT_EQ(FitComputerName("db1.example.org"), "db1");
  EXPECT_EQ(FitComputerName("averyveryverylongname.example.org"), "averyveryverylo");
  // The case is kept.
  EXPECT_EQ(FitComputerName("MixedCase"), "MixedCase");
  EXPECT_EQ(FitComputerName(std::string("abc\0def", 7)), "abc");
  EXPECT_EQ(FitComputerName(""), "");
}

TEST(ComputerName, HeadlessDefaultIsThisHost) {
  char raw[257] = {};
  ASSERT_EQ(::gethostname(raw, sizeof raw - 1), 0);
  std::string name = ComputerName();
  EXPECT_EQ(name, FitComputerName(raw));
  EXPECT_FALSE(name.empty());
  EXPECT_LE(name.size(), MaxComputerNameLength);
}

class TFixedName : public IComputerName {
 public:
  std::string ComputerName() override { return "WORKSTATION7"; }
};

TEST(ComputerName, InstalledServiceIsUsedUntilRemoved) {
  std::string host = ComputerName();
  EXPECT_EQ(SetComputerNameService(std::make_unique<TFixedName>()), nullptr);
  EXPECT_EQ(ComputerName(), "WORKSTATION7");
  EXPECT_NE(SetComputerNameService(nullptr), nullptr);
  EXPECT_EQ(ComputerName(), host);
}

}  // namespace
}  // namespace dac
