// Localised texts: the built-in English defaults of the toolkit (fgui_strings.h) and the
// application (paint_strings.h) against the tables in res/strings and the resource files
// compiled from them, and the Chinese and Russian tables against the English ones.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "fgui_strings.h"
#include "fres_writer.h"
#include "fresource.h"
#include "fsys.h"
#include "paint_strings.h"

namespace {

const char* const kLanguages[] = {"en_us", "zh_cn", "ru_ru"};
const char* const kTranslations[] = {"zh_cn", "ru_ru"};

using Table = std::map<uint32_t, std::u16string>;

std::string strings_dir() {
  std::string here = __FILE__;
  return here.substr(0, here.find_last_of('/')) + "/../res/strings/";
}

std::string res_path(const std::string& name) { return std::string(PENLARK_RES_DIR) + "/" + name; }

std::u16string text_of_payload(const std::vector<uint8_t>& payload) {
  std::u16string text;
  for (size_t i = 0; i + 1 < payload.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(payload[i] | payload[i + 1] << 8);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

// A table as the resource compiler reads it; `base` is "gui" or "penlrk".
Table read_table(const std::string& base, const std::string& language) {
  std::string path = strings_dir() + base + "." + language + ".txt";
  std::string text, errors;
  std::vector<FresEntry> entries;
  EXPECT_TRUE(fres_writer_read_text(path.c_str(), &text, &errors)) << errors;
  EXPECT_TRUE(fres_writer_parse_strings(text, path, &entries, &errors)) << errors;
  Table table;
  for (const FresEntry& entry : entries) {
    EXPECT_TRUE(table.emplace(entry.id, text_of_payload(entry.payload)).second)
        << path << ": id " << entry.id << " appears twice";
  }
  return table;
}

std::string utf8(std::u16string_view text) {
  std::u16string terminated(text);
  std::string out(4 * terminated.size() + 1, '\0');
  int32_t length = fsys_utf8_from_utf16(terminated.c_str(), out.data(), out.size());
  out.resize(length < 0 ? 0 : static_cast<size_t>(length));
  return out;
}

std::string utf8(const char16_t* text) { return text ? utf8(std::u16string_view(text)) : "(null)"; }

// The printf conversions in order, "%%" excluded: what the caller's arguments must meet.
std::vector<std::string> conversions(std::u16string_view text) {
  std::vector<std::string> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'%') continue;
    if (i + 1 < text.size() && text[i + 1] == u'%') {
      ++i;
      continue;
    }
    std::string spec = "%";
    size_t j = i + 1;
    while (j < text.size() && std::u16string_view(u"-+ #0123456789.*hlLqjzt").find(text[j]) !=
                                  std::u16string_view::npos) {
      spec.push_back(static_cast<char>(text[j++]));
    }
    spec.push_back(j < text.size() && text[j] < 0x80 ? static_cast<char>(text[j]) : '?');
    found.push_back(spec);
    i = j;
  }
  return found;
}

size_t count_of(std::u16string_view text, char16_t unit) {
  size_t n = 0;
  for (char16_t c : text) n += c == unit;
  return n;
}

std::vector<std::u16string> fields_of(std::u16string_view text) {
  std::vector<std::u16string> fields(1);
  for (char16_t c : text) {
    if (c == u'/') {
      fields.emplace_back();
    } else {
      fields.back().push_back(c);
    }
  }
  return fields;
}

// A list entry ("Via MMS/-1", "Bitmap Files(*.bmp)/*.bmp"): its second field is an image
// index or a file pattern. Other texts may hold a slash as plain punctuation.
bool is_item_string(std::u16string_view english) {
  std::vector<std::u16string> fields = fields_of(english);
  return fields.size() > 1 && (fields[1] == u"-1" || fields[1].rfind(u"*.", 0) == 0);
}

template <size_t N>
std::set<uint32_t> ids_of(const FString (&strings)[N]) {
  std::set<uint32_t> ids;
  for (const FString& s : strings) ids.insert(s.id);
  return ids;
}

std::set<uint32_t> ids_of(const Table& table) {
  std::set<uint32_t> ids;
  for (const auto& [id, text] : table) ids.insert(id);
  return ids;
}

// The ids of `a` missing from `b`, as "25001 25002", so that a failure names them.
std::string missing_ids(const std::set<uint32_t>& a, const std::set<uint32_t>& b) {
  std::string out;
  for (uint32_t id : a) {
    if (!b.count(id)) out += (out.empty() ? "" : " ") + std::to_string(id);
  }
  return out;
}

// The files in the order start-up loads them: the English bases first, so that the
// language files loaded later override them.
void load_start_up_set(const std::string& language) {
  fres_unload_all();
  for (std::string file : {std::string("gui.fres"), std::string("resvga/penlrk.fres"),
                           "gui_" + language + ".fres", language + ".lang"}) {
    EXPECT_NE(fres_load(res_path(file).c_str()), 0) << file;
  }
}

template <size_t N>
void expect_loaded_defaults(const FString (&strings)[N], const char* file) {
  for (const FString& s : strings) {
    EXPECT_EQ(utf8(fres_get_string(s.id)), utf8(s.text)) << file << ", id " << s.id;
  }
}

}  // namespace

TEST(Strings, BuiltInDefaultsEqualTheEnglishTablesAndTheCompiledBaseFiles) {
  Table gui = read_table("gui", "en_us");
  Table paint = read_table("penlrk", "en_us");
  // Both directions: a text only in the header would never be translated, one only in the
  // table would have no built-in default.
  EXPECT_EQ(missing_ids(ids_of(fgui_strings_all), ids_of(gui)), "") << "not in gui.en_us.txt";
  EXPECT_EQ(missing_ids(ids_of(gui), ids_of(fgui_strings_all)), "") << "not in fgui_strings.h";
  EXPECT_EQ(missing_ids(ids_of(paint_strings_all), ids_of(paint)), "") << "not in penlrk.en_us.txt";
  EXPECT_EQ(missing_ids(ids_of(paint), ids_of(paint_strings_all)), "") << "not in paint_strings.h";
  for (const FString& s : fgui_strings_all) {
    EXPECT_EQ(utf8(gui[s.id]), utf8(s.text)) << "gui.en_us.txt, id " << s.id;
  }
  for (const FString& s : paint_strings_all) {
    EXPECT_EQ(utf8(paint[s.id]), utf8(s.text)) << "penlrk.en_us.txt, id " << s.id;
  }
  // A few defaults whose exact wording other units and users rely on.
  EXPECT_EQ(FGUI_STR_OK.id, 2u);
  EXPECT_EQ(utf8(FGUI_STR_CANCEL.text), "Cancel");
  EXPECT_EQ(FGUI_STR_SELECT.id, 8u);
  EXPECT_EQ(utf8(PAINT_STR_FAIL_TO_OPEN_PAINT.text), "Fail to open paint (code: %d)\n%s.");
  EXPECT_EQ(utf8(PAINT_STR_FAMILY_ELLIPSE_OUTLINE.text), "Ellpise Outline/-1/%d/1");
  EXPECT_EQ(PAINT_STR_TOOL_HEART_FILLED_TIP.id, PAINT_STR_TOOL_HEART_FILLED.id + 1);

  fres_unload_all();
  for (const char* file : {"gui.fres", "gui_en_us.fres"}) {
    int id = fres_load(res_path(file).c_str());
    ASSERT_NE(id, 0) << file;
    expect_loaded_defaults(fgui_strings_all, file);
    fres_unload(id);
  }
  for (const char* file : {"resvga/penlrk.fres", "resqvga/penlrk.fres", "en_us.lang"}) {
    int id = fres_load(res_path(file).c_str());
    ASSERT_NE(id, 0) << file;
    expect_loaded_defaults(paint_strings_all, file);
    fres_unload(id);
  }
}

TEST(Strings, TranslationsKeepIdsArgumentsFieldsAndLineBreaksOfTheEnglishText) {
  for (const char* base : {"gui", "penlrk"}) {
    Table english = read_table(base, "en_us");
    for (const char* language : kTranslations) {
      Table table = read_table(base, language);
      std::string name = std::string(base) + "." + language;
      EXPECT_EQ(missing_ids(ids_of(english), ids_of(table)), "") << "missing in " << name;
      EXPECT_EQ(missing_ids(ids_of(table), ids_of(english)), "") << "only in " << name;
      for (const auto& [id, source] : english) {
        auto found = table.find(id);
        if (found == table.end()) continue;
        const std::u16string& text = found->second;
        SCOPED_TRACE(name + ", id " + std::to_string(id) + ": " + utf8(text));
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(conversions(text), conversions(source));
        EXPECT_EQ(count_of(text, u'\n'), count_of(source, u'\n'));
        if (is_item_string(source)) {
          std::vector<std::u16string> want = fields_of(source), got = fields_of(text);
          ASSERT_EQ(got.size(), want.size());
          EXPECT_FALSE(got[0].empty());
          for (size_t f = 1; f < want.size(); ++f) EXPECT_EQ(utf8(got[f]), utf8(want[f]));
        }
      }
    }
  }
}

TEST(Strings, TextCheckerSeesConversionsFieldsAndItemStrings) {
  // The translation checks are only as good as these readers.
  EXPECT_EQ(conversions(u"%d%% of %s, %-3.1lf"), (std::vector<std::string>{"%d", "%s", "%-3.1lf"}));
  EXPECT_TRUE(conversions(u"100%%").empty());
  EXPECT_TRUE(is_item_string(u"Rect Outline/-1/%d/1"));
  EXPECT_TRUE(is_item_string(u"PNG Files(*.png)/*.png"));
  EXPECT_FALSE(is_item_string(u"Zoom In/Zoom Out"));
  EXPECT_EQ(fields_of(u"Via MMS/-1").size(), 2u);
}

TEST(Strings, StartUpLoadingOrderShowsTheLanguageAndNothingLoadedShowsEnglish) {
  fres_unload_all();
  // Nothing loaded: the defaults themselves come back, not copies.
  EXPECT_EQ(fres_text(FGUI_STR_CANCEL), FGUI_STR_CANCEL.text);
  EXPECT_EQ(fres_text(PAINT_STR_SAVED_OK), PAINT_STR_SAVED_OK.text);
  for (const FString& s : paint_strings_all) EXPECT_EQ(fres_text(s), s.text) << s.id;

  for (const char* language : kLanguages) {
    SCOPED_TRACE(language);
    Table gui = read_table("gui", language);
    Table paint = read_table("penlrk", language);
    load_start_up_set(language);
    for (const FString& s : fgui_strings_all) {
      EXPECT_EQ(utf8(fres_text(s)), utf8(gui[s.id])) << s.id;
    }
    for (const FString& s : paint_strings_all) {
      EXPECT_EQ(utf8(fres_text(s)), utf8(paint[s.id])) << s.id;
    }
  }

  // A sample spelled out, so that a table that merely copied the English text shows here.
  load_start_up_set("zh_cn");
  EXPECT_EQ(utf8(fres_text(FGUI_STR_CANCEL)), "取消");
  EXPECT_EQ(utf8(fres_text(PAINT_STR_TOOL_PENCIL)), "铅笔");
  EXPECT_EQ(utf8(fres_text(PAINT_STR_FAMILY_ELLIPSE_OUTLINE)), "空心椭圆/-1/%d/1");
  load_start_up_set("ru_ru");
  EXPECT_EQ(utf8(fres_text(FGUI_STR_OK)), "ОК");
  EXPECT_EQ(utf8(fres_text(PAINT_STR_FAIL_TO_SAVE)), "Не удалось сохранить файл (код: %d).");
  EXPECT_EQ(utf8(fres_text(PAINT_STR_FILTER_PNG)), "Файлы PNG (*.png)/*.png");
  fres_unload_all();

  // After unloading, the defaults are back.
  EXPECT_EQ(fres_text(FGUI_STR_OK), FGUI_STR_OK.text);
  EXPECT_EQ(fres_text(PAINT_STR_TOOL_PENCIL), PAINT_STR_TOOL_PENCIL.text);
}
