#include <gtest/gtest.h>

#include "base/StringAdditions.h"
#include "model/CDUtility.h"

namespace mr {
namespace {

TEST(CDUtilityTest, HashesIgnoreCaseAndSpacesOnly) {
  EXPECT_EQ(CDUtility::itemHashWithTitle("Let It Be", "The Beatles"),
            CDUtility::itemHashWithTitle("letitbe", "THEBEATLES"));
  EXPECT_EQ(CDUtility::itemHashWithTitle("", "a b"), CDUtility::itemHashWithTitle("", "ab"));
  EXPECT_EQ(CDUtility::itemHashWithTitle("", "The Beatles"),
            CDUtility::artistItemHashWithArtist("thebeatles"));
  // Tabs and no-break spaces are not spaces.
  EXPECT_NE(CDUtility::itemHashWithTitle("Let\tIt", "X"),
            CDUtility::itemHashWithTitle("Let It", "X"));
  EXPECT_NE(CDUtility::itemHashWithTitle("Let\u00A0It", "X"),
            CDUtility::itemHashWithTitle("Let It", "X"));
  EXPECT_EQ(CDUtility::itemHashWithTitle("Let It Be", "The Beatles"),
            MD5DigestString("letitbethebeatles"));
  // The album goes last.
  EXPECT_EQ(CDUtility::itemHashWithTitle("T", "A", "R"), MD5DigestString("tra"));
  EXPECT_EQ(CDUtility::artistItemHashWithArtist("The Beatles").size(), 32u);
}

TEST(CDUtilityTest, FullUnicodeLowerCaseInEveryLocale) {
  EXPECT_EQ(CDUtility::normalize("ÉCOLE Ñ"), "écoleñ");
  EXPECT_EQ(CDUtility::normalize("İstanbul"), "i\u0307stanbul");  // not the Turkish rule
  EXPECT_EQ(CDUtility::normalize("STRAẞE"), "straße");
  EXPECT_EQ(CDUtility::normalize("ΟΔΟΣ ΟΔΟΣ"), "οδοςοδος");  // final sigma at each word's end
  EXPECT_EQ(CDUtility::normalize("ΣΑ"), "σα");
  EXPECT_EQ(CDUtility::itemHashWithTitle("Café", "Ñu"), CDUtility::itemHashWithTitle("CAFÉ", "ñU"));
}

}  // namespace
}  // namespace mr
