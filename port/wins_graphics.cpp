// The port's text rasteriser. fontconfig turns a family name and a style into a list of
// font files sorted by closeness; FreeType loads the glyphs and renders them as 8-bit
// antialiased coverage, which the canvas's text contexts blend into their pixels
// (fcanvas_text.cpp). Nothing above the port sees a FreeType or fontconfig type.
//
// The toolkit opens a text context for every label it paints, so resolving a font must be
// cheap the second time: resolved fonts (pixel height, family, weight, slant) stay in a
// small process-wide cache together with their rendered glyphs, and every font file is
// opened once as an FT_Face shared by all fonts, so the fallback face that serves a CJK
// character is not reopened per glyph or per label. Everything runs on the UI thread.
//
//   fplatform_font_create -> font_instance_acquire -> (cached) or font_instance_resolve
//   fplatform_font_render -> text_cursor_next -> glyph_find -> glyph_load (primary face,
//                            else the sorted fallbacks) -> sink per glyph, then the bars

#include "wins_graphics.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "fsys.h"

namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;
// A glyph's coverage map grows with the square of the height; beyond this a request is a
// mistake rather than a font size.
constexpr int32_t kMaxPixelHeight = 1024;
// Resolved fonts no caller holds that stay cached, the least recently used leaving first.
constexpr size_t kUnusedFontsKept = 16;
// A face name longer than this is cut: no family name comes near it.
constexpr int32_t kMaxFaceUnits = 256;

// 26.6 fixed point to whole pixels, rounded half up.
int32_t pixels_from_26_6(FT_Pos value) { return static_cast<int32_t>((value + 32) >> 6); }

// One font file opened by FreeType, shared by every font that uses it.
struct FaceEntry {
  std::string path;
  int index;             // face index inside the file (collections, named instances)
  FT_Face face;          // owned; null when the file could not be opened
  int32_t pixel_height;  // size last set on the face, 0 = none yet
};

// A face as one font uses it, with the bold and italic it has to synthesise because the
// file fontconfig found lacks them.
struct FaceUse {
  FaceEntry* entry;  // not owned: the face cache's
  bool embolden;
  bool oblique;
};

struct GlyphImage {
  FaceUse use;
  uint32_t glyph_index;
  int32_t advance;  // pixels to the next pen position
  int32_t left;     // coverage's left column, from the pen position
  int32_t top;      // coverage's top row, pixels above the baseline
  int32_t width;
  int32_t rows;
  std::vector<uint8_t> coverage;  // width x rows, rows packed
};

struct FontInstance {
  int32_t pixel_height;   // em height in pixels
  std::string family;     // as asked, UTF-8; empty = the default sans
  uint32_t weight_slant;  // the FFONT_BOLD and FFONT_ITALIC bits it was resolved for
  int32_t users;          // FPlatformFont handles holding it
  uint64_t last_used;     // cache clock at the last acquire or release
  FcFontSet* candidates;  // owned: the fonts sorted by closeness to the request
  int primary_candidate;  // index in candidates of the primary face
  FaceUse primary;
  FFontMetrics metrics;
  int32_t underline_offset;  // bar's top row below the baseline
  int32_t underline_thickness;
  int32_t strike_offset;  // bar's top row relative to the baseline (negative = above)
  int32_t strike_thickness;
  int32_t fallback_glyphs;                          // glyphs served by a fallback face
  std::unordered_map<uint32_t, GlyphImage> glyphs;  // by code point
};

void font_cache_release(bool at_exit);

struct FontCache {
  FT_Library freetype = nullptr;     // owned, created with the first font
  bool fontconfig_ready = false;     // FcInit done
  std::vector<FaceEntry*> faces;     // owned
  std::vector<FontInstance*> fonts;  // owned
  uint64_t clock = 0;                // counts acquires and releases, for the LRU order

  // The cache lives as long as the process; giving everything back at exit keeps leak
  // checkers quiet about what was only cached.
  ~FontCache() { font_cache_release(true); }
};

FontCache g_cache;

}  // namespace

struct FPlatformFont {
  FontInstance* instance;  // not owned: the font cache's, held through its user count
  uint32_t style;          // FFONT_* bits; underline and strike-out are drawn per handle
};

uint32_t wins_graphics_next_code_point(const char16_t* text, int32_t length, int32_t* index) {
  uint32_t unit = text[*index];
  *index += 1;
  if (unit < 0xD800 || unit > 0xDFFF) return unit;
  if (unit <= 0xDBFF && *index < length) {
    uint32_t low = text[*index];
    if (low >= 0xDC00 && low <= 0xDFFF) {
      *index += 1;
      return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  return kReplacementCharacter;
}

namespace {

bool library_ready() {
  if (!g_cache.fontconfig_ready) {
    if (!FcInit()) return false;
    g_cache.fontconfig_ready = true;
  }
  if (!g_cache.freetype && FT_Init_FreeType(&g_cache.freetype) != 0) {
    g_cache.freetype = nullptr;
    return false;
  }
  return true;
}

// fontconfig speaks UTF-8; names come in as zero-terminated UTF-16, of which the first
// kMaxFaceUnits units count.
std::string family_from_utf16(const char16_t* face) {
  if (!face) return {};
  char16_t name[kMaxFaceUnits + 1];
  int32_t length = 0;
  while (length < kMaxFaceUnits && face[length]) {
    name[length] = face[length];
    ++length;
  }
  name[length] = 0;
  char out[4 * kMaxFaceUnits + 1];  // up to three bytes a unit, four a pair
  return fsys_utf8_from_utf16(name, out, sizeof out) >= 0 ? out : std::string();
}

// ---- Face cache --------------------------------------------------------------------------

// The cached face of the file, opened on first use. A file that does not open is
// remembered with a null face so that it is not tried again for every glyph.
FaceEntry* face_cache_open(const char* path, int index) {
  for (FaceEntry* entry : g_cache.faces) {
    if (entry->index == index && entry->path == path) return entry;
  }
  auto entry = std::make_unique<FaceEntry>();
  entry->path = path;
  entry->index = index;
  g_cache.faces.reserve(g_cache.faces.size() + 1);  // the push below cannot throw
  if (FT_New_Face(g_cache.freetype, path, index, &entry->face) != 0) entry->face = nullptr;
  g_cache.faces.push_back(entry.release());
  return g_cache.faces.back();
}

// Faces are shared between fonts of different sizes, so every use sets its size first;
// setting the size it already has costs nothing.
bool face_set_size(FaceEntry* entry, int32_t pixel_height) {
  if (!entry || !entry->face) return false;
  if (entry->pixel_height == pixel_height) return true;
  FT_Face face = entry->face;
  FT_Error error = 1;
  if (FT_IS_SCALABLE(face)) {
    error = FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixel_height));
  } else if (face->num_fixed_sizes > 0) {
    // Bitmap-only faces come in fixed strikes: the nearest one serves.
    int best = 0;
    for (int i = 1; i < face->num_fixed_sizes; ++i) {
      int distance = std::abs(face->available_sizes[i].height - pixel_height);
      if (distance < std::abs(face->available_sizes[best].height - pixel_height)) best = i;
    }
    error = FT_Select_Size(face, best);
  }
  entry->pixel_height = error ? 0 : pixel_height;
  return error == 0;
}

void face_cache_close_all() {
  for (FaceEntry* entry : g_cache.faces) {
    if (entry->face) FT_Done_Face(entry->face);
    delete entry;
  }
  g_cache.faces.clear();
}

// ---- Resolving a font ---------------------------------------------------------------------

FcFontSet* font_candidates_sort(const std::string& family, int32_t pixel_height,
                                uint32_t weight_slant) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return nullptr;
  // A family the system lacks ("tahoma" on most hosts) falls through to the sans default
  // listed after it, not to whatever fontconfig ranks first.
  if (!family.empty()) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  }
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  FcPatternAddInteger(pattern, FC_WEIGHT,
                      (weight_slant & FFONT_BOLD) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT,
                      (weight_slant & FFONT_ITALIC) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixel_height);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  // Trimmed: fonts that add no characters to those before them are left out, so the
  // fallback walk stays short.
  FcFontSet* set = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
  FcPatternDestroy(pattern);
  if (set && set->nfont == 0) {
    FcFontSetDestroy(set);
    set = nullptr;
  }
  return set;
}

// The cached face of a candidate, or null when the candidate names no usable file.
FaceEntry* candidate_open(FcPattern* candidate) {
  FcChar8* file = nullptr;
  if (FcPatternGetString(candidate, FC_FILE, 0, &file) != FcResultMatch || !file) return nullptr;
  int index = 0;
  FcPatternGetInteger(candidate, FC_INDEX, 0, &index);
  FaceEntry* entry = face_cache_open(reinterpret_cast<const char*>(file), index);
  return entry->face ? entry : nullptr;
}

FaceUse candidate_use(FcPattern* candidate, FaceEntry* entry, uint32_t weight_slant) {
  int weight = FC_WEIGHT_REGULAR;
  int slant = FC_SLANT_ROMAN;
  FcPatternGetInteger(candidate, FC_WEIGHT, 0, &weight);
  FcPatternGetInteger(candidate, FC_SLANT, 0, &slant);
  FaceUse use{entry, false, false};
  use.embolden = (weight_slant & FFONT_BOLD) && weight < FC_WEIGHT_DEMIBOLD;
  use.oblique = (weight_slant & FFONT_ITALIC) && slant == FC_SLANT_ROMAN;
  return use;
}

// Cell metrics and the positions of the underline and strike-out bars, from the primary
// face at its size. The bars keep to the cell so that they are clipped like the glyphs.
void font_instance_measure(FontInstance* font) {
  FT_Face face = font->primary.entry->face;
  const FT_Size_Metrics& size = face->size->metrics;
  int32_t pixel_height = font->pixel_height;
  int32_t ascent = pixels_from_26_6(size.ascender);
  int32_t descent = pixels_from_26_6(-size.descender);
  if (ascent <= 0 || descent < 0) {
    descent = pixel_height / 5;
    ascent = std::max(1, pixel_height - descent);
  }
  font->metrics = {ascent + descent, ascent, descent};

  int32_t underline_thickness = std::max(1, pixel_height / 14);
  int32_t underline_centre = std::max(1, descent / 2);
  int32_t strike_thickness = underline_thickness;
  int32_t strike_top = -(ascent * 3 / 10) - strike_thickness / 2;
  if (FT_IS_SCALABLE(face)) {
    FT_Fixed scale = size.y_scale;
    if (face->underline_thickness > 0) {
      underline_thickness =
          std::max(1, pixels_from_26_6(FT_MulFix(face->underline_thickness, scale)));
    }
    if (face->underline_position < 0) {
      underline_centre = pixels_from_26_6(FT_MulFix(-face->underline_position, scale));
    }
    auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
      strike_thickness = std::max(1, pixels_from_26_6(FT_MulFix(os2->yStrikeoutSize, scale)));
      strike_top = -pixels_from_26_6(FT_MulFix(os2->yStrikeoutPosition, scale));
    }
  }
  int32_t underline_top = underline_centre - underline_thickness / 2;
  underline_top = std::min(underline_top, descent - underline_thickness);
  font->underline_offset = std::max(1, underline_top);
  font->underline_thickness = underline_thickness;
  font->strike_offset = std::clamp(strike_top, -ascent, -1);
  font->strike_thickness = strike_thickness;
}

void font_instance_destroy(FontInstance* font) {
  if (!font) return;
  if (font->candidates) FcFontSetDestroy(font->candidates);
  delete font;
}

struct FontInstanceDeleter {
  void operator()(FontInstance* font) const { font_instance_destroy(font); }
};

// A new resolved font, or null when fontconfig offers no face that opens at this size.
FontInstance* font_instance_resolve(int32_t pixel_height, const std::string& family,
                                    uint32_t weight_slant) {
  std::unique_ptr<FontInstance, FontInstanceDeleter> font(new FontInstance{});
  font->pixel_height = pixel_height;
  font->family = family;
  font->weight_slant = weight_slant;
  font->candidates = font_candidates_sort(family, pixel_height, weight_slant);
  if (!font->candidates) return nullptr;
  for (int i = 0; i < font->candidates->nfont; ++i) {
    FcPattern* candidate = font->candidates->fonts[i];
    FaceEntry* entry = candidate_open(candidate);
    if (!entry || !face_set_size(entry, pixel_height)) continue;
    font->primary = candidate_use(candidate, entry, weight_slant);
    font->primary_candidate = i;
    break;
  }
  if (!font->primary.entry) return nullptr;
  font_instance_measure(font.get());
  g_cache.fonts.reserve(g_cache.fonts.size() + 1);
  g_cache.fonts.push_back(font.release());
  return g_cache.fonts.back();
}

FontInstance* font_instance_acquire(int32_t pixel_height, const std::string& family,
                                    uint32_t weight_slant) {
  for (FontInstance* font : g_cache.fonts) {
    if (font->pixel_height == pixel_height && font->weight_slant == weight_slant &&
        font->family == family) {
      font->users += 1;
      font->last_used = ++g_cache.clock;
      return font;
    }
  }
  FontInstance* font = font_instance_resolve(pixel_height, family, weight_slant);
  if (!font) return nullptr;
  font->users = 1;
  font->last_used = ++g_cache.clock;
  return font;
}

// Drops the least recently used fonts that nobody holds until at most `keep` remain.
void font_cache_trim(size_t keep) {
  for (;;) {
    size_t unused = 0;
    auto oldest = g_cache.fonts.end();
    for (auto it = g_cache.fonts.begin(); it != g_cache.fonts.end(); ++it) {
      if ((*it)->users > 0) continue;
      ++unused;
      if (oldest == g_cache.fonts.end() || (*it)->last_used < (*oldest)->last_used) oldest = it;
    }
    if (unused <= keep) return;
    font_instance_destroy(*oldest);
    g_cache.fonts.erase(oldest);
  }
}

// ---- Glyphs -------------------------------------------------------------------------------

// Which face serves the code point: the primary when it has the character, else the first
// sorted candidate whose character set holds it, else the primary's missing-glyph box.
void glyph_choose(FontInstance* font, uint32_t code_point, FaceUse* use, uint32_t* index) {
  *use = font->primary;
  *index = FT_Get_Char_Index(font->primary.entry->face, code_point);
  if (*index) return;
  for (int i = 0; i < font->candidates->nfont; ++i) {
    if (i == font->primary_candidate) continue;
    FcPattern* candidate = font->candidates->fonts[i];
    FcCharSet* charset = nullptr;
    if (FcPatternGetCharSet(candidate, FC_CHARSET, 0, &charset) != FcResultMatch ||
        !FcCharSetHasChar(charset, code_point)) {
      continue;
    }
    FaceEntry* entry = candidate_open(candidate);
    if (!entry) continue;
    FT_UInt found = FT_Get_Char_Index(entry->face, code_point);
    if (!found || !face_set_size(entry, font->pixel_height)) continue;
    *use = candidate_use(candidate, entry, font->weight_slant);
    *index = found;
    font->fallback_glyphs += 1;
    return;
  }
}

// Copies FreeType's bitmap, whatever its pixel mode, into 8-bit coverage, top row first.
void glyph_copy_coverage(const FT_Bitmap& bitmap, GlyphImage* glyph) {
  int32_t width = static_cast<int32_t>(bitmap.width);
  int32_t rows = static_cast<int32_t>(bitmap.rows);
  if (width <= 0 || rows <= 0 || !bitmap.buffer) return;
  glyph->coverage.assign(static_cast<size_t>(width) * rows, 0);
  glyph->width = width;
  glyph->rows = rows;
  // A negative pitch stores the rows bottom-up: the top row is the last one in memory.
  const uint8_t* top_row = bitmap.buffer;
  if (bitmap.pitch < 0) top_row += static_cast<ptrdiff_t>(-bitmap.pitch) * (rows - 1);
  for (int32_t r = 0; r < rows; ++r) {
    const uint8_t* src = top_row + static_cast<ptrdiff_t>(bitmap.pitch) * r;
    uint8_t* dst = glyph->coverage.data() + static_cast<size_t>(r) * width;
    for (int32_t x = 0; x < width; ++x) {
      switch (bitmap.pixel_mode) {
        case FT_PIXEL_MODE_GRAY:
          dst[x] = bitmap.num_grays == 256 || bitmap.num_grays < 2
                       ? src[x]
                       : static_cast<uint8_t>(std::min(255, src[x] * 255 / (bitmap.num_grays - 1)));
          break;
        case FT_PIXEL_MODE_MONO:
          dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
          break;
        case FT_PIXEL_MODE_GRAY2:
          dst[x] = static_cast<uint8_t>(((src[x >> 2] >> (6 - 2 * (x & 3))) & 3) * 85);
          break;
        case FT_PIXEL_MODE_GRAY4:
          dst[x] = static_cast<uint8_t>(((src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15) * 17);
          break;
        case FT_PIXEL_MODE_BGRA:
          dst[x] = src[x * 4 + 3];
          break;
        default:
          dst[x] = 0;
          break;
      }
    }
  }
}

// Loads, synthesises and renders one glyph. A glyph that cannot be had stays empty with
// no advance, so that text around it still draws.
void glyph_load(FontInstance* font, uint32_t code_point, GlyphImage* glyph) {
  glyph_choose(font, code_point, &glyph->use, &glyph->glyph_index);
  FaceEntry* entry = glyph->use.entry;
  if (!face_set_size(entry, font->pixel_height)) return;
  FT_Face face = entry->face;
  bool synthesised = glyph->use.embolden || glyph->use.oblique;
  // Synthesis works on outlines, so embedded bitmap strikes are skipped then.
  FT_Int32 flags = FT_LOAD_DEFAULT | (synthesised ? FT_LOAD_NO_BITMAP : 0);
  if (FT_Load_Glyph(face, glyph->glyph_index, flags) != 0) {
    if (glyph->glyph_index == 0 || FT_Load_Glyph(face, 0, flags) != 0) return;
    glyph->glyph_index = 0;
  }
  FT_GlyphSlot slot = face->glyph;
  int32_t extra_advance = 0;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (glyph->use.oblique) {
      // A shear of about 12 degrees about the baseline, as in common oblique faces.
      FT_Matrix shear = {0x10000, 0x0366A, 0, 0x10000};
      FT_Outline_Transform(&slot->outline, &shear);
    }
    if (glyph->use.embolden) {
      FT_Pos strength = FT_MulFix(face->units_per_EM, face->size->metrics.y_scale) / 24;
      FT_Outline_Embolden(&slot->outline, strength);
      extra_advance = std::max(1, pixels_from_26_6(strength));
    }
  }
  glyph->advance = pixels_from_26_6(slot->advance.x) + extra_advance;
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return;
  glyph->left = slot->bitmap_left;
  glyph->top = slot->bitmap_top;
  glyph_copy_coverage(slot->bitmap, glyph);
}

const GlyphImage* glyph_find(FontInstance* font, uint32_t code_point) {
  auto found = font->glyphs.find(code_point);
  if (found != font->glyphs.end()) return &found->second;
  GlyphImage glyph{};
  glyph_load(font, code_point, &glyph);
  // Map nodes stay where they are when the map grows, so the pointer outlives later loads.
  return &font->glyphs.emplace(code_point, std::move(glyph)).first->second;
}

// ---- Walking a text -----------------------------------------------------------------------

struct TextCursor {
  FontInstance* font;           // not owned
  const char16_t* text;         // not owned
  int32_t length;               // UTF-16 units
  int32_t index;                // next unit
  int64_t pen;                  // pixels from the text's start to the next glyph's origin
  const GlyphImage* previous;   // for kerning; null at the start
};

TextCursor text_cursor_make(FontInstance* font, const char16_t* text, int32_t length) {
  if (!text || length < 0) length = 0;
  return TextCursor{font, text, length, 0, 0, nullptr};
}

// Steps over one character: its glyph, where the glyph's origin lands and how many UTF-16
// units it took. False at the end of the text.
bool text_cursor_next(TextCursor* cursor, const GlyphImage** glyph, int64_t* origin,
                      int32_t* units) {
  if (cursor->index >= cursor->length) return false;
  int32_t start = cursor->index;
  uint32_t code_point =
      wins_graphics_next_code_point(cursor->text, cursor->length, &cursor->index);
  const GlyphImage* current = glyph_find(cursor->font, code_point);
  int32_t kerning = 0;
  const GlyphImage* previous = cursor->previous;
  FaceEntry* entry = current->use.entry;
  if (previous && previous->use.entry == entry && entry && entry->face &&
      FT_HAS_KERNING(entry->face) && face_set_size(entry, cursor->font->pixel_height)) {
    FT_Vector delta{};
    if (FT_Get_Kerning(entry->face, previous->glyph_index, current->glyph_index,
                       FT_KERNING_DEFAULT, &delta) == 0) {
      kerning = pixels_from_26_6(delta.x);
    }
  }
  *glyph = current;
  *origin = cursor->pen + kerning;
  *units = cursor->index - start;
  cursor->pen = *origin + current->advance;
  cursor->previous = current;
  return true;
}

// A piece whose every pixel has a 32-bit coordinate, so that a sink may add the width to
// the position; text running off the coordinate range lands on no bitmap and is dropped.
bool piece_fits(int64_t x, int64_t y, int64_t width, int64_t height) {
  return x >= INT32_MIN && y >= INT32_MIN && x + width - 1 <= INT32_MAX &&
         y + height - 1 <= INT32_MAX;
}

// Hands a solid bar (underline, strike-out) to the sink as full coverage.
void bar_render(int64_t x, int64_t y, int64_t width, int32_t thickness, FCoverageSink sink,
                void* context) {
  if (width <= 0 || thickness <= 0 || width > INT32_MAX) return;
  if (!piece_fits(x, y, width, thickness)) return;
  std::vector<uint8_t> full(static_cast<size_t>(width) * thickness, 255);
  sink(context, static_cast<int32_t>(x), static_cast<int32_t>(y), full.data(),
       static_cast<int32_t>(width), thickness, static_cast<int32_t>(width));
}

}  // namespace

// ---- The platform's text calls ----------------------------------------------------------

FPlatformFont* fplatform_font_create(int32_t pixel_height, const char16_t* face, uint32_t style) {
  try {
    if (!library_ready()) return nullptr;
    int32_t height = std::clamp(pixel_height, 1, kMaxPixelHeight);
    std::string family = family_from_utf16(face);
    FontInstance* instance =
        font_instance_acquire(height, family, style & (FFONT_BOLD | FFONT_ITALIC));
    if (!instance) return nullptr;
    FPlatformFont* font = new (std::nothrow) FPlatformFont{instance, style};
    if (!font) {
      instance->users -= 1;
      return nullptr;
    }
    return font;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void fplatform_font_destroy(FPlatformFont* font) {
  if (!font) return;
  font->instance->users -= 1;
  font->instance->last_used = ++g_cache.clock;
  delete font;
  font_cache_trim(kUnusedFontsKept);
}

void fplatform_font_metrics(const FPlatformFont* font, FFontMetrics* out) {
  FCHECK(font != nullptr && out != nullptr, "font!=null && out!=null");
  *out = font->instance->metrics;
}

int32_t fplatform_font_text_width(FPlatformFont* font, const char16_t* text, int32_t length) {
  FCHECK(font != nullptr, "font!=null");
  try {
    TextCursor cursor = text_cursor_make(font->instance, text, length);
    const GlyphImage* glyph = nullptr;
    int64_t origin = 0;
    int32_t units = 0;
    while (text_cursor_next(&cursor, &glyph, &origin, &units)) {
    }
    return static_cast<int32_t>(std::min<int64_t>(cursor.pen, INT32_MAX));
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int32_t fplatform_font_text_fit(FPlatformFont* font, const char16_t* text, int32_t length,
                                int32_t max_width) {
  FCHECK(font != nullptr, "font!=null");
  int32_t fitted = 0;
  try {
    TextCursor cursor = text_cursor_make(font->instance, text, length);
    const GlyphImage* glyph = nullptr;
    int64_t origin = 0;
    int32_t units = 0;
    // A surrogate pair is one step of the cursor, so the count never ends inside one.
    while (text_cursor_next(&cursor, &glyph, &origin, &units)) {
      if (cursor.pen > max_width) break;
      fitted += units;
    }
  } catch (const std::bad_alloc&) {
    // What was counted before memory ran short still fits.
  }
  return fitted;
}

void fplatform_font_render(FPlatformFont* font, const char16_t* text, int32_t length, int32_t x,
                           int32_t y, FCoverageSink sink, void* context) {
  FCHECK(font != nullptr, "font!=null");
  if (!sink) return;
  FontInstance* instance = font->instance;
  int64_t baseline = static_cast<int64_t>(y) + instance->metrics.ascent;
  try {
    TextCursor cursor = text_cursor_make(instance, text, length);
    const GlyphImage* glyph = nullptr;
    int64_t origin = 0;
    int32_t units = 0;
    while (text_cursor_next(&cursor, &glyph, &origin, &units)) {
      if (glyph->width <= 0 || glyph->rows <= 0) continue;
      int64_t left = x + origin + glyph->left;
      int64_t top = baseline - glyph->top;
      if (!piece_fits(left, top, glyph->width, glyph->rows)) continue;
      sink(context, static_cast<int32_t>(left), static_cast<int32_t>(top),
           glyph->coverage.data(), glyph->width, glyph->rows, glyph->width);
    }
    int64_t width = cursor.pen;
    if (font->style & FFONT_UNDERLINE) {
      bar_render(x, baseline + instance->underline_offset, width, instance->underline_thickness,
                 sink, context);
    }
    if (font->style & FFONT_STRIKEOUT) {
      bar_render(x, baseline + instance->strike_offset, width, instance->strike_thickness, sink,
                 context);
    }
  } catch (const std::bad_alloc&) {
    // Whatever was drawn stays; the rest of the text is lost with the memory.
  }
}

// ---- Port-side upkeep ---------------------------------------------------------------------

const char* wins_graphics_font_file(const FPlatformFont* font) {
  if (!font) return "";
  return font->instance->primary.entry->path.c_str();
}

int32_t wins_graphics_fallback_glyph_count(const FPlatformFont* font) {
  return font ? font->instance->fallback_glyphs : 0;
}

namespace {

// Frees the fonts no caller holds, and with none held also the faces and the library; at
// exit fontconfig's own state goes too.
void font_cache_release(bool at_exit) {
  font_cache_trim(0);
  if (!g_cache.fonts.empty()) return;
  face_cache_close_all();
  if (g_cache.freetype) {
    FT_Done_FreeType(g_cache.freetype);
    g_cache.freetype = nullptr;
  }
  if (at_exit && g_cache.fontconfig_ready) {
    FcFini();
    g_cache.fontconfig_ready = false;
  }
}

}  // namespace

void wins_graphics_release_cache() { font_cache_release(false); }
