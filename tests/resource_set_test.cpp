// The resource set the build compiles beside the program: every file loads, and loaded in
// the start-up order (base files, then the language's two files) each language's own texts
// win for the toolkit and for the application.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "fresource.h"

namespace {

const std::string kDir = PENLARK_RES_DIR;

// Toolkit ids lie below the application's, which start at 25001.
constexpr uint32_t kFirstAppId = 25001;

// Every text that the loaded files give for the ids in [first, last].
std::map<uint32_t, std::u16string> loaded_texts(uint32_t first, uint32_t last) {
  std::map<uint32_t, std::u16string> texts;
  for (uint32_t id = first; id <= last; ++id) {
    if (const char16_t* s = fres_get_string(id)) texts[id] = s;
  }
  return texts;
}

std::map<uint32_t, std::u16string> texts_of(const std::string& name, uint32_t first, uint32_t last) {
  int file = fres_load((kDir + "/" + name).c_str());
  EXPECT_NE(file, 0) << name;
  if (!file) return {};
  auto texts = loaded_texts(first, last);
  fres_unload(file);
  return texts;
}

}  // namespace

TEST(ResourceSet, EveryFileLoadsAndLanguageFilesOverrideTheBaseOnes) {
  for (const char* name : {"gui.fres", "gui.fmbm", "resvga/penlrk.fres", "resqvga/penlrk.fres"}) {
    int file = fres_load((kDir + "/" + name).c_str());
    EXPECT_NE(file, 0) << name;
    if (file) fres_unload(file);
  }

  int languages = 0;
  for (std::string lang : {"en_us", "zh_cn", "ru_ru"}) {
    SCOPED_TRACE(lang);
    std::string gui_file = "gui_" + lang + ".fres", app_file = lang + ".lang";
    if (!std::filesystem::exists(kDir + "/" + gui_file) || !std::filesystem::exists(kDir + "/" + app_file)) {
      continue;  // the language's tables are not written yet
    }
    ++languages;
    auto gui_texts = texts_of(gui_file, 2, kFirstAppId - 1);
    auto app_texts = texts_of(app_file, kFirstAppId, kFirstAppId + 999);
    ASSERT_FALSE(gui_texts.empty());
    ASSERT_FALSE(app_texts.empty());

    ASSERT_NE(fres_load((kDir + "/gui.fres").c_str()), 0);
    ASSERT_NE(fres_load((kDir + "/resvga/penlrk.fres").c_str()), 0);
    auto base_texts = loaded_texts(2, kFirstAppId + 999);
    ASSERT_NE(fres_load((kDir + "/" + gui_file).c_str()), 0);
    ASSERT_NE(fres_load((kDir + "/" + app_file).c_str()), 0);

    // Each language file's texts are the ones found, and outside English at least one
    // toolkit and one application text differs from the base file's.
    int gui_changed = 0, app_changed = 0;
    for (const auto& [id, text] : gui_texts) {
      ASSERT_NE(fres_get_string(id), nullptr) << id;
      EXPECT_EQ(std::u16string(fres_get_string(id)), text) << id;
      gui_changed += base_texts[id] != text;
    }
    for (const auto& [id, text] : app_texts) {
      ASSERT_NE(fres_get_string(id), nullptr) << id;
      EXPECT_EQ(std::u16string(fres_get_string(id)), text) << id;
      app_changed += base_texts[id] != text;
    }
    if (lang != "en_us") {
      EXPECT_GT(gui_changed, 0);
      EXPECT_GT(app_changed, 0);
    }
    fres_unload_all();
  }
  if (languages == 0) GTEST_SKIP() << "no language tables yet";
}
