// The user's language. The application picks its language files and fonts by a language
// code (English UK 1, French 2, German 3, ... 99 for anything else) that it gets from a
// Windows language identifier through one fixed table. On the desktop the identifier is
// made from the POSIX locale: language and region ("de_CH") give the full identifier
// (0x807), a known language in an unlisted region gives the language's primary
// identifier (0x07), and the table is then searched as on the handheld.
//
//   fsys_language_code -> locale_from_environment -> fsys_language_code_for
//     -> fsys_language_id_for (parse, region table, primary table) -> fsys_language_code_for_id

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "fsys.h"

namespace {

constexpr int32_t kUnknownLanguage = 99;
constexpr uint16_t kEnglishUnitedStates = 0x0409;

// {Windows language identifier, language code}. Primary identifiers (0x07) carry the
// plain language's code. Searched front to back; the first equal identifier wins.
constexpr FSysLanguageRow kLanguageTable[] = {
    // German: Germany, Switzerland, Austria, Luxembourg, Liechtenstein
    {0x0407, 3}, {0x0807, 12}, {0x0C07, 22}, {0x1007, 3}, {0x1407, 3}, {0x0007, 3},
    // English: US, UK, Australia, Canada, New Zealand, South Africa, then the places that
    // read international English
    {0x0409, 10}, {0x0809, 1}, {0x0C09, 20}, {0x1009, 46}, {0x1409, 23}, {0x1809, 47},
    {0x1C09, 48}, {0x2009, 47}, {0x2409, 47}, {0x2809, 47}, {0x2C09, 47}, {0x3009, 47},
    {0x3409, 47}, {0x4009, 47}, {0x4409, 47}, {0x4809, 47}, {0x0009, 1},
    // French: France, Belgium, Canada, Switzerland, Luxembourg, Monaco
    {0x040C, 2}, {0x080C, 21}, {0x0C0C, 51}, {0x100C, 11}, {0x140C, 24}, {0x180C, 24},
    {0x000C, 2},
    // Spanish: Spain (traditional and modern sort), then Latin America
    {0x040A, 4}, {0x0C0A, 4}, {0x000A, 4},
    {0x080A, 83}, {0x100A, 83}, {0x140A, 83}, {0x180A, 83}, {0x1C0A, 83}, {0x200A, 83},
    {0x240A, 83}, {0x280A, 83}, {0x2C0A, 83}, {0x300A, 83}, {0x340A, 83}, {0x380A, 83},
    {0x3C0A, 83}, {0x400A, 83}, {0x440A, 83}, {0x480A, 83}, {0x4C0A, 83}, {0x500A, 83},
    // Arabic: sixteen countries and the primary identifier
    {0x0401, 37}, {0x0801, 37}, {0x0C01, 37}, {0x1001, 37}, {0x1401, 37}, {0x1801, 37},
    {0x1C01, 37}, {0x2001, 37}, {0x2401, 37}, {0x2801, 37}, {0x2C01, 37}, {0x3001, 37},
    {0x3401, 37}, {0x3801, 37}, {0x3C01, 37}, {0x4001, 37}, {0x0001, 37},
    // Chinese: Taiwan, PRC, Hong Kong, Singapore, Macao
    {0x0404, 29}, {0x0804, 31}, {0x0C04, 30}, {0x1004, 30}, {0x1404, 30}, {0x0004, 31},
    // Languages with a second country of their own
    {0x0816, 13}, {0x0416, 76}, {0x0016, 13},  // Portuguese, Brazilian
    {0x0410, 5}, {0x0810, 61}, {0x0010, 5},    // Italian, Swiss Italian
    {0x0413, 18}, {0x0813, 19}, {0x0013, 18},  // Dutch, Flemish
    {0x041D, 6}, {0x081D, 85}, {0x001D, 6},    // Swedish, Finland Swedish
    {0x0414, 8}, {0x0814, 75}, {0x0014, 8},    // Norwegian Bokmal, Nynorsk
    {0x041A, 45}, {0x001A, 45},                // Croatian (owns the shared primary)
    {0x081A, 79}, {0x0C1A, 79},                // Serbian, Latin and Cyrillic
    // One country each
    {0x0419, 16}, {0x0019, 16},  // Russian
    {0x0406, 7}, {0x0006, 7},    // Danish
    {0x040B, 9}, {0x000B, 9},    // Finnish
    {0x041F, 14}, {0x001F, 14},  // Turkish
    {0x040F, 15}, {0x000F, 15},  // Icelandic
    {0x040E, 17}, {0x000E, 17},  // Hungarian
    {0x0405, 25}, {0x0005, 25},  // Czech
    {0x041B, 26}, {0x001B, 26},  // Slovak
    {0x0415, 27}, {0x0015, 27},  // Polish
    {0x0424, 28}, {0x0024, 28},  // Slovenian
    {0x0411, 32}, {0x0011, 32},  // Japanese
    {0x041E, 33}, {0x001E, 33},  // Thai
    {0x0436, 34}, {0x0036, 34},  // Afrikaans
    {0x041C, 35}, {0x001C, 35},  // Albanian
    {0x042B, 38}, {0x002B, 38},  // Armenian
    {0x0423, 40}, {0x0023, 40},  // Belarusian
    {0x0445, 41}, {0x0045, 41},  // Bengali
    {0x0402, 42}, {0x0002, 42},  // Bulgarian
    {0x0403, 44}, {0x0003, 44},  // Catalan
    {0x0425, 49}, {0x0025, 49},  // Estonian
    {0x0429, 50}, {0x0029, 50},  // Farsi
    {0x0437, 53}, {0x0037, 53},  // Georgian
    {0x0408, 54}, {0x0008, 54},  // Greek
    {0x0447, 56}, {0x0047, 56},  // Gujarati
    {0x040D, 57}, {0x000D, 57},  // Hebrew
    {0x0439, 58}, {0x0039, 58},  // Hindi
    {0x0421, 59}, {0x0021, 59},  // Indonesian
    {0x044B, 62}, {0x004B, 62},  // Kannada
    {0x043F, 63}, {0x003F, 63},  // Kazakh
    {0x0412, 65}, {0x0012, 65},  // Korean
    {0x0426, 67}, {0x0026, 67},  // Latvian
    {0x0427, 68}, {0x0027, 68},  // Lithuanian
    {0x042F, 69}, {0x002F, 69},  // Macedonian
    {0x043E, 70}, {0x003E, 70},  // Malay
    {0x044E, 72}, {0x004E, 72},  // Marathi
    {0x0446, 77}, {0x0046, 77},  // Punjabi
    {0x0418, 78}, {0x0018, 78},  // Romanian
    {0x0441, 84}, {0x0041, 84},  // Swahili
    {0x0449, 87}, {0x0049, 87},  // Tamil
    {0x044A, 88}, {0x004A, 88},  // Telugu
    {0x0422, 93}, {0x0022, 93},  // Ukrainian
    {0x0420, 94}, {0x0020, 94},  // Urdu
    {0x042A, 96}, {0x002A, 96},  // Vietnamese
};
static_assert(sizeof kLanguageTable / sizeof kLanguageTable[0] == 179);

// A locale's language in a region, as the standard identifier.
struct RegionRow {
  char language[4];
  char region[3];
  uint16_t id;
};

constexpr RegionRow kRegionTable[] = {
    {"de", "DE", 0x0407}, {"de", "CH", 0x0807}, {"de", "AT", 0x0C07}, {"de", "LU", 0x1007},
    {"de", "LI", 0x1407},
    {"en", "US", 0x0409}, {"en", "GB", 0x0809}, {"en", "AU", 0x0C09}, {"en", "CA", 0x1009},
    {"en", "NZ", 0x1409}, {"en", "IE", 0x1809}, {"en", "ZA", 0x1C09}, {"en", "JM", 0x2009},
    {"en", "BZ", 0x2809}, {"en", "TT", 0x2C09}, {"en", "ZW", 0x3009}, {"en", "PH", 0x3409},
    {"en", "IN", 0x4009}, {"en", "MY", 0x4409}, {"en", "SG", 0x4809},
    {"fr", "FR", 0x040C}, {"fr", "BE", 0x080C}, {"fr", "CA", 0x0C0C}, {"fr", "CH", 0x100C},
    {"fr", "LU", 0x140C}, {"fr", "MC", 0x180C},
    {"es", "ES", 0x0C0A}, {"es", "MX", 0x080A}, {"es", "GT", 0x100A}, {"es", "CR", 0x140A},
    {"es", "PA", 0x180A}, {"es", "DO", 0x1C0A}, {"es", "VE", 0x200A}, {"es", "CO", 0x240A},
    {"es", "PE", 0x280A}, {"es", "AR", 0x2C0A}, {"es", "EC", 0x300A}, {"es", "CL", 0x340A},
    {"es", "UY", 0x380A}, {"es", "PY", 0x3C0A}, {"es", "BO", 0x400A}, {"es", "SV", 0x440A},
    {"es", "HN", 0x480A}, {"es", "NI", 0x4C0A}, {"es", "PR", 0x500A},
    {"ar", "SA", 0x0401}, {"ar", "IQ", 0x0801}, {"ar", "EG", 0x0C01}, {"ar", "LY", 0x1001},
    {"ar", "DZ", 0x1401}, {"ar", "MA", 0x1801}, {"ar", "TN", 0x1C01}, {"ar", "OM", 0x2001},
    {"ar", "YE", 0x2401}, {"ar", "SY", 0x2801}, {"ar", "JO", 0x2C01}, {"ar", "LB", 0x3001},
    {"ar", "KW", 0x3401}, {"ar", "AE", 0x3801}, {"ar", "BH", 0x3C01}, {"ar", "QA", 0x4001},
    {"zh", "TW", 0x0404}, {"zh", "CN", 0x0804}, {"zh", "HK", 0x0C04}, {"zh", "SG", 0x1004},
    {"zh", "MO", 0x1404},
    {"pt", "BR", 0x0416}, {"pt", "PT", 0x0816},
    {"it", "IT", 0x0410}, {"it", "CH", 0x0810},
    {"nl", "NL", 0x0413}, {"nl", "BE", 0x0813},
    {"sv", "SE", 0x041D}, {"sv", "FI", 0x081D},
    {"nb", "NO", 0x0414}, {"no", "NO", 0x0414}, {"nn", "NO", 0x0814},
    {"hr", "HR", 0x041A},
    {"ru", "RU", 0x0419}, {"da", "DK", 0x0406}, {"fi", "FI", 0x040B}, {"tr", "TR", 0x041F},
    {"is", "IS", 0x040F}, {"hu", "HU", 0x040E}, {"cs", "CZ", 0x0405}, {"sk", "SK", 0x041B},
    {"pl", "PL", 0x0415}, {"sl", "SI", 0x0424}, {"ja", "JP", 0x0411}, {"th", "TH", 0x041E},
    {"ko", "KR", 0x0412}, {"af", "ZA", 0x0436}, {"sq", "AL", 0x041C}, {"hy", "AM", 0x042B},
    {"be", "BY", 0x0423}, {"bn", "IN", 0x0445}, {"bg", "BG", 0x0402}, {"ca", "ES", 0x0403},
    {"et", "EE", 0x0425}, {"fa", "IR", 0x0429}, {"ka", "GE", 0x0437}, {"el", "GR", 0x0408},
    {"gu", "IN", 0x0447}, {"he", "IL", 0x040D}, {"hi", "IN", 0x0439}, {"id", "ID", 0x0421},
    {"kn", "IN", 0x044B}, {"kk", "KZ", 0x043F}, {"lv", "LV", 0x0426}, {"lt", "LT", 0x0427},
    {"mk", "MK", 0x042F}, {"ms", "MY", 0x043E}, {"mr", "IN", 0x044E}, {"pa", "IN", 0x0446},
    {"ro", "RO", 0x0418}, {"sw", "KE", 0x0441}, {"ta", "IN", 0x0449}, {"te", "IN", 0x044A},
    {"uk", "UA", 0x0422}, {"ur", "PK", 0x0420}, {"vi", "VN", 0x042A},
};

// A language in a region the table above does not list.
struct PrimaryRow {
  char language[4];
  uint16_t id;
};

constexpr PrimaryRow kPrimaryTable[] = {
    {"de", 0x07}, {"en", 0x09}, {"fr", 0x0C}, {"es", 0x0A}, {"ar", 0x01}, {"zh", 0x04},
    {"pt", 0x16}, {"it", 0x10}, {"nl", 0x13}, {"sv", 0x1D}, {"nb", 0x14}, {"nn", 0x14},
    {"no", 0x14}, {"hr", 0x1A}, {"ru", 0x19}, {"da", 0x06}, {"fi", 0x0B}, {"tr", 0x1F},
    {"is", 0x0F}, {"hu", 0x0E}, {"cs", 0x05}, {"sk", 0x1B}, {"pl", 0x15}, {"sl", 0x24},
    {"ja", 0x11}, {"th", 0x1E}, {"ko", 0x12}, {"af", 0x36}, {"sq", 0x1C}, {"hy", 0x2B},
    {"be", 0x23}, {"bn", 0x45}, {"bg", 0x02}, {"ca", 0x03}, {"et", 0x25}, {"fa", 0x29},
    {"ka", 0x37}, {"el", 0x08}, {"gu", 0x47}, {"he", 0x0D}, {"iw", 0x0D}, {"hi", 0x39},
    {"id", 0x21}, {"in", 0x21}, {"kn", 0x4B}, {"kk", 0x3F}, {"lv", 0x26}, {"lt", 0x27},
    {"mk", 0x2F}, {"ms", 0x3E}, {"mr", 0x4E}, {"pa", 0x46}, {"ro", 0x18}, {"sw", 0x41},
    {"ta", 0x49}, {"te", 0x4A}, {"uk", 0x22}, {"ur", 0x20}, {"vi", 0x2A},
};

struct LocaleParts {
  char language[4];   // lower case, empty when the name does not start with one
  char region[4];     // upper case, may be empty
  char modifier[16];  // after '@', lower case, may be empty
};

char to_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char to_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// language[_REGION][.codeset][@modifier]; anything that does not fit leaves the language
// empty, and so unknown.
LocaleParts parse_locale(const char* locale) {
  LocaleParts parts{};
  const char* at = locale;
  size_t length = 0;
  while (is_letter(at[length])) ++length;
  if (length < 2 || length > 3) return parts;
  for (size_t i = 0; i < length; ++i) parts.language[i] = to_lower(at[i]);
  at += length;
  if (*at == '_' || *at == '-') {
    ++at;
    length = 0;
    while (is_letter(at[length]) || (at[length] >= '0' && at[length] <= '9')) ++length;
    if (length <= 3) {
      for (size_t i = 0; i < length; ++i) parts.region[i] = to_upper(at[i]);
    }
    at += length;
  }
  if (*at == '.') {
    while (*at && *at != '@') ++at;
  }
  if (*at == '@') {
    ++at;
    for (size_t i = 0; at[i] && i + 1 < sizeof parts.modifier; ++i) {
      parts.modifier[i] = to_lower(at[i]);
    }
  }
  return parts;
}

// The locale the messages are shown in: the first of LC_ALL, LC_MESSAGES and LANG that is
// set and not empty; without any, the C locale.
const char* locale_from_environment() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != 0) return value;
  }
  return "C";
}

}  // namespace

uint16_t fsys_language_id_for(const char* locale) {
  if (locale == nullptr || locale[0] == 0 || std::strcmp(locale, "C") == 0 ||
      std::strncmp(locale, "C.", 2) == 0 || std::strcmp(locale, "POSIX") == 0) {
    return kEnglishUnitedStates;
  }
  const LocaleParts parts = parse_locale(locale);
  if (parts.language[0] == 0) return 0;
  // Serbian is written in two scripts with identifiers of their own.
  if (std::strcmp(parts.language, "sr") == 0) {
    return std::strcmp(parts.modifier, "latin") == 0 ? 0x081A : 0x0C1A;
  }
  for (const RegionRow& row : kRegionTable) {
    if (std::strcmp(row.language, parts.language) == 0 &&
        std::strcmp(row.region, parts.region) == 0) {
      return row.id;
    }
  }
  for (const PrimaryRow& row : kPrimaryTable) {
    if (std::strcmp(row.language, parts.language) == 0) return row.id;
  }
  return 0;
}

uint16_t fsys_language_id() { return fsys_language_id_for(locale_from_environment()); }

int32_t fsys_language_code_for_id(uint16_t id) {
  for (const FSysLanguageRow& row : kLanguageTable) {
    if (row.id == id) return row.code;
  }
  return kUnknownLanguage;
}

int32_t fsys_language_code_for(const char* locale) {
  return fsys_language_code_for_id(fsys_language_id_for(locale));
}

int32_t fsys_language_code() { return fsys_language_code_for(locale_from_environment()); }

const FSysLanguageRow* fsys_language_table(size_t* count) {
  if (count != nullptr) *count = sizeof kLanguageTable / sizeof kLanguageTable[0];
  return kLanguageTable;
}
