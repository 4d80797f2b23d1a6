// The user's language: locale names to language identifiers, identifiers to language
// codes through the 179-row table, and the order in which the environment is read.

#include "fsys.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>

TEST(LanguageTable, HasEveryRowOnceWithTheKnownCodes) {
  size_t count = 0;
  const FSysLanguageRow* table = fsys_language_table(&count);
  ASSERT_EQ(count, 179u);
  std::set<uint16_t> ids;
  int arabic = 0;
  int latin_american = 0;
  for (size_t i = 0; i < count; ++i) {
    EXPECT_TRUE(ids.insert(table[i].id).second) << std::hex << table[i].id;
    EXPECT_GE(table[i].code, 1);
    EXPECT_LE(table[i].code, 98);  // 99 is reserved for "not in the table"
    if ((table[i].id & 0x3FF) == 0x01) {
      ++arabic;
      EXPECT_EQ(table[i].code, 37) << std::hex << table[i].id;
    }
    if ((table[i].id & 0x3FF) == 0x0A && table[i].id >= 0x080A && table[i].id != 0x0C0A) {
      ++latin_american;
      EXPECT_EQ(table[i].code, 83) << std::hex << table[i].id;
    }
  }
  EXPECT_EQ(arabic, 17);
  EXPECT_EQ(latin_american, 18);

  const std::map<uint16_t, int32_t> known = {
      {0x0809, 1},  {0x040C, 2},  {0x0407, 3},  {0x1007, 3},  {0x1407, 3},  {0x0007, 3},
      {0x040A, 4},  {0x0410, 5},  {0x0409, 10}, {0x0807, 12}, {0x0816, 13}, {0x0419, 16},
      {0x0413, 18}, {0x0C09, 20}, {0x0404, 29}, {0x0C04, 30}, {0x1404, 30}, {0x1004, 30},
      {0x0804, 31}, {0x0004, 31}, {0x0411, 32}, {0x041E, 33}, {0x0412, 65}, {0x0416, 76},
      {0x080A, 83}, {0x0423, 40}, {0x0C07, 22}, {0x0C0C, 51}};
  for (const auto& [id, code] : known) {
    EXPECT_EQ(fsys_language_code_for_id(id), code) << std::hex << id;
  }
  EXPECT_EQ(fsys_language_code_for_id(0), 99);
  EXPECT_EQ(fsys_language_code_for_id(0x0452), 99);  // Welsh is not listed
  EXPECT_EQ(fsys_language_code_for_id(0xFFFF), 99);
}

TEST(LanguageTable, LocalesMapThroughLanguageAndRegion) {
  const std::map<std::string, std::pair<uint16_t, int32_t>> cases = {
      {"en_GB.UTF-8", {0x0809, 1}}, {"en_US", {0x0409, 10}}, {"en_AU", {0x0C09, 20}},
      {"de_CH", {0x0807, 12}}, {"de_DE.UTF-8", {0x0407, 3}}, {"zh_CN", {0x0804, 31}},
      {"zh_TW.Big5", {0x0404, 29}}, {"zh_HK", {0x0C04, 30}}, {"zh_SG", {0x1004, 30}},
      {"pt_BR@euro", {0x0416, 76}}, {"pt_PT", {0x0816, 13}}, {"ja_JP.eucJP", {0x0411, 32}},
      {"ko_KR.UTF-8", {0x0412, 65}}, {"ru_RU", {0x0419, 16}}, {"fr_FR@euro", {0x040C, 2}},
      {"fr_CA", {0x0C0C, 51}}, {"es_MX", {0x080A, 83}}, {"es_AR.ISO-8859-1", {0x2C0A, 83}},
      {"es_ES", {0x0C0A, 4}}, {"nn_NO", {0x0814, 75}}, {"sr_RS@latin", {0x081A, 79}},
      {"sr_RS", {0x0C1A, 79}}, {"th-TH", {0x041E, 33}}, {"ar_EG.UTF-8", {0x0C01, 37}},
      {"C", {0x0409, 10}}, {"POSIX", {0x0409, 10}}, {"C.UTF-8", {0x0409, 10}},
      {"", {0x0409, 10}},
      // A known language in an unlisted region falls back to the language itself.
      {"de_BE", {0x0007, 3}}, {"ar_IN", {0x0001, 37}}, {"ru_UA.UTF-8", {0x0019, 16}},
      {"es_US", {0x000A, 4}}, {"en", {0x0009, 1}}, {"EN_gb", {0x0809, 1}},
      // Unknown languages and names that are not locales.
      {"xx_YY", {0, 99}}, {"cy_GB", {0, 99}}, {"tlh", {0, 99}}, {"e", {0, 99}},
      {"_GB", {0, 99}}, {"english_US", {0, 99}}};
  for (const auto& [locale, expected] : cases) {
    EXPECT_EQ(fsys_language_id_for(locale.c_str()), expected.first) << locale;
    EXPECT_EQ(fsys_language_code_for(locale.c_str()), expected.second) << locale;
  }
  EXPECT_EQ(fsys_language_code_for(nullptr), 10);
}

TEST(LanguageTable, EnvironmentIsReadFromLcAllThenLcMessagesThenLang) {
  std::map<std::string, std::optional<std::string>> saved;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
  }
  setenv("LANG", "de_DE.UTF-8", 1);
  setenv("LC_MESSAGES", "fr_CA.UTF-8", 1);
  setenv("LC_ALL", "ru_RU.UTF-8", 1);
  EXPECT_EQ(fsys_language_code(), 16);
  EXPECT_EQ(fsys_language_id(), 0x0419);
  setenv("LC_ALL", "", 1);  // set but empty counts as unset
  EXPECT_EQ(fsys_language_code(), 51);
  unsetenv("LC_MESSAGES");
  EXPECT_EQ(fsys_language_code(), 3);
  unsetenv("LANG");
  EXPECT_EQ(fsys_language_id(), 0x0409);
  for (const auto& [name, value] : saved) {
    value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  }
}
