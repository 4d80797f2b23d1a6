// The user's language: locale names to language identifiers, identifiers to language
// codes through the 179-row table, and the order in which the environment is read.

#include "fsys.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <tuple>

TEST(Language, TheTableHoldsEachIdentifierOnceWithCodesBelow99) {
  size_t count = 0;
  const FSysLanguageRow* table = fsys_language_table(&count);
  ASSERT_EQ(count, 179u);
  std::set<uint16_t> ids;
  int arabic = 0, latin_american = 0;
  for (size_t i = 0; i < count; ++i) {
    EXPECT_TRUE(ids.insert(table[i].id).second) << std::hex << table[i].id;
    EXPECT_TRUE(table[i].code >= 1 && table[i].code <= 98) << std::hex << table[i].id;
    arabic += table[i].code == 37;
    latin_american += table[i].code == 83;
  }
  EXPECT_EQ(arabic, 17);          // sixteen countries and the plain language
  EXPECT_EQ(latin_american, 18);  // every Spanish-speaking country but Spain
  // Rows no locale below reaches (Spain's traditional sort, plain Chinese), unlisted ids.
  for (auto [id, code] : {std::tuple<uint16_t, int32_t>{0x040A, 4}, {0x0004, 31}, {0x0411, 32},
                          {0x0412, 65}, {0, 99}, {0x0452, 99}, {0xFFFF, 99}}) {
    EXPECT_EQ(fsys_language_code_for_id(id), code) << std::hex << id;
  }
}

TEST(Language, LocalesMapThroughLanguageAndRegionWithTheLanguageAsFallback) {
  const std::tuple<const char*, uint16_t, int32_t> cases[] = {
      {"en_GB.UTF-8", 0x0809, 1}, {"en_US", 0x0409, 10}, {"de_DE.UTF-8", 0x0407, 3},
      {"de_CH", 0x0807, 12}, {"de_AT", 0x0C07, 22}, {"de_LU", 0x1007, 3}, {"zh_CN", 0x0804, 31},
      {"zh_TW.Big5", 0x0404, 29}, {"zh_HK", 0x0C04, 30}, {"zh_MO", 0x1404, 30},
      {"pt_BR@euro", 0x0416, 76}, {"pt_PT", 0x0816, 13}, {"fr_CA", 0x0C0C, 51},
      {"es_ES", 0x0C0A, 4}, {"es_MX", 0x080A, 83}, {"es_AR.ISO-8859-1", 0x2C0A, 83},
      {"nn_NO", 0x0814, 75}, {"sr_RS@latin", 0x081A, 79}, {"sr_RS", 0x0C1A, 79},
      {"th-TH", 0x041E, 33}, {"ar_EG.UTF-8", 0x0C01, 37}, {"EN_gb", 0x0809, 1}, {"C", 0x0409, 10},
      {"POSIX", 0x0409, 10}, {"C.UTF-8", 0x0409, 10}, {"", 0x0409, 10}, {nullptr, 0x0409, 10},
      // A known language in an unlisted region falls back to the language itself.
      {"de_BE", 0x0007, 3}, {"ar_IN", 0x0001, 37}, {"ru_UA.UTF-8", 0x0019, 16},
      {"es_US", 0x000A, 4}, {"en", 0x0009, 1},
      // Unknown languages and names that are not locales.
      {"xx_YY", 0, 99}, {"cy_GB", 0, 99}, {"tlh", 0, 99}, {"e", 0, 99}, {"_GB", 0, 99},
      {"english_US", 0, 99}};
  for (auto [locale, id, code] : cases) {
    EXPECT_EQ(fsys_language_id_for(locale), id) << (locale ? locale : "null");
    EXPECT_EQ(fsys_language_code_for(locale), code) << (locale ? locale : "null");
  }
}

TEST(Language, TheEnvironmentIsReadFromLcAllThenLcMessagesThenLang) {
  // The changes stay inside this test process.
  setenv("LANG", "de_DE.UTF-8", 1), setenv("LC_MESSAGES", "fr_CA.UTF-8", 1);
  setenv("LC_ALL", "ru_RU.UTF-8", 1);
  EXPECT_EQ(fsys_language_code(), 16);
  EXPECT_EQ(fsys_language_id(), 0x0419);
  setenv("LC_ALL", "", 1);  // set but empty counts as unset
  EXPECT_EQ(fsys_language_code(), 51);
  unsetenv("LC_MESSAGES");
  EXPECT_EQ(fsys_language_code(), 3);
  unsetenv("LANG");
  EXPECT_EQ(fsys_language_id(), 0x0409);
}
