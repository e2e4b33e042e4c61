#include <gtest/gtest.h>

#include <map>

#include "base/SystemLocale.h"

namespace mr {
namespace {

EnvironmentLookup environment(std::map<std::string, std::string> values) {
  return [values = std::move(values)](const std::string& name) -> std::optional<std::string> {
    auto found = values.find(name);
    if (found == values.end()) return std::nullopt;
    return found->second;
  };
}

// As gettext reads them: LANGUAGE first (unless the locale is "C"), then
// LC_ALL, LC_MESSAGES, LANG; the language without its region.
TEST(SystemLocaleTest, PreferredLanguagesAreLanguageCodesInGettextsOrder) {
  using List = std::vector<std::string>;
  EXPECT_EQ(preferredLanguages(environment({{"LANG", "ja_JP.UTF-8"}})), List{"ja"});
  EXPECT_EQ(preferredLanguages(environment({{"LANG", "en_US.UTF-8"}})), List{"en"});
  EXPECT_EQ(preferredLanguages(environment({{"LANG", "pt_BR"}})), List{"pt"});
  EXPECT_EQ(preferredLanguages(environment({{"LANGUAGE", "ja:en_GB::fr"}, {"LANG", "en_US.UTF-8"}})),
            (List{"ja", "en", "fr"}));
  EXPECT_EQ(preferredLanguages(environment({{"LANGUAGE", "fr"}, {"LANG", "C"}})), List{"en"});
  EXPECT_EQ(preferredLanguages(environment({{"LANGUAGE", "fr"}})), List{"en"});  // no locale is "C"
  EXPECT_EQ(preferredLanguages(environment({{"LC_ALL", "de_AT@euro"}, {"LANG", "ja_JP"}})),
            List{"de"});
  EXPECT_EQ(preferredLanguages(environment({{"LC_MESSAGES", "POSIX"}, {"LANG", "ja_JP"}})),
            List{"en"});
  EXPECT_EQ(preferredLanguages(environment({{"LANG", "C.UTF-8"}})), List{"en"});
  EXPECT_EQ(preferredLanguages(environment({{"LANG", "!!"}})), List{"en"});
  EXPECT_EQ(preferredLanguages(environment({})), List{"en"});
}

TEST(SystemLocaleTest, TheRegionComesSeparately) {
  EXPECT_EQ(currentRegionCode(environment({{"LANG", "ja_JP.UTF-8"}})), "JP");
  EXPECT_EQ(currentRegionCode(environment({{"LC_ALL", "pt_br"}, {"LANG", "ja_JP"}})), "BR");
  EXPECT_EQ(currentRegionCode(environment({{"LANG", "C.UTF-8"}})), "US");
  EXPECT_EQ(currentRegionCode(environment({{"LANG", "fr"}})), "US");
  EXPECT_EQ(regionFromLocaleName("es_419.UTF-8"), "419");
  EXPECT_EQ(languageFromLocaleName("POSIX"), "en");
  EXPECT_EQ(languageFromLocaleName(""), "");
}

}  // namespace
}  // namespace mr
