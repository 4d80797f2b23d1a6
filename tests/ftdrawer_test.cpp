// The text drawer: defaults and copies, and layouts compared pixel for pixel with lines drawn
// straight through the canvas at the places worked out here from the font's own metrics.

#include "ftdrawer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fcanvas.h"
#include "fplatform.h"

namespace {

constexpr int32_t kWidth = 200, kHeight = 120;
constexpr FColor kPaper = 0xFFF0F0F0u;

struct Line {
  std::u16string text;
  int32_t x, y;
};

struct TestCanvas {
  FCanvas canvas{};
  TestCanvas() {
    EXPECT_EQ(fcanvas_create(&canvas, nullptr, 32, kWidth, -kHeight), 1);
    fbitmap_fill_rect(canvas.bitmap, 0, 0, kWidth - 1, kHeight - 1, kPaper);
  }
  ~TestCanvas() { fcanvas_release(&canvas); }
  std::vector<uint8_t> bytes() const {
    const uint8_t* p = canvas.bitmap->pixels;
    return std::vector<uint8_t>(p, p + fbitmap_get_size_image(canvas.bitmap));
  }
};

// The font the drawer will use, opened on a scratch canvas for measuring.
struct Measure {
  FCanvas canvas{};
  FTextContext* text = nullptr;
  explicit Measure(const FTDrawer* d) {
    EXPECT_EQ(fcanvas_create(&canvas, nullptr, 32, 8, -8), 1);
    fcanvas_set_font(&canvas, d->font_size, d->font_face);
    fcanvas_set_font_style(&canvas, d->font_style);
    text = fcanvas_begin_text(&canvas);
    EXPECT_NE(text, nullptr);
  }
  ~Measure() {
    fcanvas_end_text(&canvas, text);
    fcanvas_release(&canvas);
  }
  int32_t height() { return fcanvas_text_height(&canvas, text); }
  int32_t width(const std::u16string& s) {
    return fcanvas_text_width(&canvas, text, s.data(), static_cast<int32_t>(s.size()));
  }
};

// The lines drawn straight through the canvas, clipped to `clip`.
std::vector<uint8_t> reference(const FTDrawer* d, const std::vector<Line>& lines, FRect clip) {
  TestCanvas c;
  fcanvas_set_font(&c.canvas, d->font_size, d->font_face);
  fcanvas_set_font_style(&c.canvas, d->font_style);
  fcanvas_set_pen_color(&c.canvas, d->color);
  fcanvas_set_clip(&c.canvas, &clip);
  FTextContext* text = fcanvas_begin_text(&c.canvas);
  EXPECT_NE(text, nullptr);
  for (const Line& l : lines) {
    fcanvas_text_out(&c.canvas, text, FPoint{l.x, l.y}, l.text.data(),
                     static_cast<int32_t>(l.text.size()));
  }
  fcanvas_end_text(&c.canvas, text);
  return c.bytes();
}

std::vector<uint8_t> drawn(const FTDrawer* d, FRect rect, const std::u16string& s) {
  TestCanvas c;
  EXPECT_EQ(ftdrawer_draw_text(d, &c.canvas, &rect, s.data(), static_cast<int32_t>(s.size())), 1);
  EXPECT_EQ(c.canvas.clip_on, 0);  // no clip before, none after
  return c.bytes();
}

struct Drawer {
  FTDrawer* d = ftdrawer_create();
  Drawer() { EXPECT_NE(d, nullptr); }
  ~Drawer() { ftdrawer_destroy(d); }
};

TEST(FTDrawerTest, DefaultsCopiesAndSetters) {
  const FTDrawer* def = ftdrawer_get_default();
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(def->color, 0xFF000000u);
  EXPECT_EQ(def->font_size, 12);
  EXPECT_EQ(def->font_face[0], 0);
  EXPECT_EQ(def->mode, FTDRAW_TOP_LEFT | FTDRAW_WRAP);

  FTDrawer* copy = ftdrawer_copy(def);
  ASSERT_NE(copy, nullptr);
  ftdrawer_set_color(copy, 0x80112233u);
  ftdrawer_set_font_size(copy, 30);
  ftdrawer_set_line_spacing(copy, -2);
  ftdrawer_set_alignment(copy, FTDRAW_BOTTOM_RIGHT);
  EXPECT_EQ(ftdrawer_get_mode(copy), FTDRAW_BOTTOM_RIGHT | FTDRAW_WRAP);  // flag kept
  ftdrawer_set_mode(copy, FTDRAW_CENTRE);
  ftdrawer_set_alignment(copy, 0x1F);  // only bits 0-3 are taken
  EXPECT_EQ(ftdrawer_get_mode(copy), 0x0Fu);
  // The face keeps 31 units and its terminator.
  ftdrawer_set_font_face(copy, std::u16string(40, u'x').c_str());
  EXPECT_EQ(std::u16string(ftdrawer_get_font_face(copy)), std::u16string(31, u'x'));
  ftdrawer_set_font_face(copy, nullptr);
  EXPECT_EQ(ftdrawer_get_font_face(copy)[0], 0);

  FTDrawer* second = ftdrawer_copy(copy);
  ASSERT_NE(second, nullptr);
  ftdrawer_set_font_size(second, 8);
  EXPECT_EQ(ftdrawer_get_font_size(copy), 30);
  EXPECT_EQ(ftdrawer_get_color(second), 0x80112233u);
  EXPECT_EQ(ftdrawer_get_line_spacing(second), -2);
  EXPECT_EQ(def->font_size, 12);  // the default is never changed through a copy
  ftdrawer_destroy(second);
  ftdrawer_destroy(copy);
}

TEST(FTDrawerTest, WrapsAtSpacesAndBreaksWordsWiderThanTheLine) {
  Drawer d;
  Measure m(d.d);
  const int32_t h = m.height();
  ASSERT_GT(h, 0);
  // Room for "aaa bbb" but not for "aaa bbb ccc": the line breaks at the second space.
  const int32_t room = m.width(u"aaa bbb") + 2;
  ASSERT_LT(room, m.width(u"aaa bbb ccc"));
  const FRect rect{10, 5, 10 + room - 1, 110};
  EXPECT_EQ(drawn(d.d, rect, u"aaa bbb ccc"),
            reference(d.d, {{u"aaa bbb", 10, 5}, {u"ccc", 10, 5 + h}}, rect));
  // Several spaces at a break vanish with it; a break right before the line feed makes no
  // empty line.
  EXPECT_EQ(drawn(d.d, rect, u"aaa bbb   ccc   \ndd"),
            reference(d.d, {{u"aaa bbb", 10, 5}, {u"ccc", 10, 5 + h}, {u"dd", 10, 5 + 2 * h}},
                      rect));

  // A word wider than the line is cut where it stops fitting.
  const std::u16string word = u"mmmmmmmmmmmmmmmmmmmm";
  const int32_t narrow = m.width(u"mmmmm") + 1;
  ASSERT_LT(narrow, m.width(u"mmmmmm"));
  const FRect slim{0, 0, narrow - 1, 119};
  EXPECT_EQ(drawn(d.d, slim, word),
            reference(d.d, {{u"mmmmm", 0, 0}, {u"mmmmm", 0, h}, {u"mmmmm", 0, 2 * h},
                            {u"mmmmm", 0, 3 * h}},
                      slim));

  // Without the flag the line is drawn whole and clipped to the rectangle.
  ftdrawer_set_mode(d.d, FTDRAW_TOP_LEFT);
  EXPECT_EQ(drawn(d.d, rect, u"aaa bbb ccc"), reference(d.d, {{u"aaa bbb ccc", 10, 5}}, rect));
}

TEST(FTDrawerTest, LineFeedsInAllThreeSpellingsEndLines) {
  Drawer d;
  ftdrawer_set_mode(d.d, FTDRAW_TOP_LEFT);
  Measure m(d.d);
  const int32_t h = m.height();
  const FRect rect{0, 0, kWidth - 1, kHeight - 1};
  EXPECT_EQ(drawn(d.d, rect, u"ab\r\ncd\ref\ngh"),
            reference(d.d, {{u"ab", 0, 0}, {u"cd", 0, h}, {u"ef", 0, 2 * h}, {u"gh", 0, 3 * h}},
                      rect));
  // Empty lines keep their place; a trailing line feed makes a last, empty line, which
  // counts when the block is placed at the bottom.
  EXPECT_EQ(drawn(d.d, rect, u"\n\nab"), reference(d.d, {{u"ab", 0, 2 * h}}, rect));
  ftdrawer_set_alignment(d.d, FTDRAW_BOTTOM_LEFT);
  EXPECT_EQ(drawn(d.d, rect, u"ab\n"), reference(d.d, {{u"ab", 0, kHeight - 2 * h}}, rect));
}

TEST(FTDrawerTest, NinePositionsSpacingAndMargin) {
  Drawer d;
  ftdrawer_set_line_spacing(d.d, 3);
  ftdrawer_set_margin(d.d, 4);
  Measure m(d.d);
  const int32_t h = m.height();
  const std::u16string one = u"Wide line", two = u"ok";
  const int32_t w1 = m.width(one), w2 = m.width(two);
  const FRect rect{20, 10, 179, 109};  // 160 x 100; inside the margin 152 x 92 at (24, 14)
  const int32_t block = 2 * h + 3;
  const int32_t left = 24, top = 14, iw = 152, ih = 92;
  struct Case {
    uint32_t position;
    int32_t x1, x2, y;
  };
  const Case cases[] = {
      {FTDRAW_TOP_LEFT, left, left, top},
      {FTDRAW_TOP_CENTRE, left + (iw - w1) / 2, left + (iw - w2) / 2, top},
      {FTDRAW_TOP_RIGHT, left + iw - w1, left + iw - w2, top},
      {FTDRAW_MIDDLE_RIGHT, left + iw - w1, left + iw - w2, top + (ih - block) / 2},
      {FTDRAW_BOTTOM_RIGHT, left + iw - w1, left + iw - w2, top + ih - block},
      {FTDRAW_BOTTOM_CENTRE, left + (iw - w1) / 2, left + (iw - w2) / 2, top + ih - block},
      {FTDRAW_BOTTOM_LEFT, left, left, top + ih - block},
      {FTDRAW_MIDDLE_LEFT, left, left, top + (ih - block) / 2},
      {FTDRAW_CENTRE, left + (iw - w1) / 2, left + (iw - w2) / 2, top + (ih - block) / 2},
      {12, left, left, top},  // unused positions draw as top-left
  };
  for (const Case& c : cases) {
    ftdrawer_set_alignment(d.d, c.position);
    EXPECT_EQ(drawn(d.d, rect, one + u"\n" + two),
              reference(d.d, {{one, c.x1, c.y}, {two, c.x2, c.y + h + 3}}, rect))
        << "position " << c.position;
  }
  // A margin that leaves no room draws nothing; a negative one counts as none.
  ftdrawer_set_alignment(d.d, FTDRAW_TOP_LEFT);
  ftdrawer_set_margin(d.d, 80);
  TestCanvas blank;
  EXPECT_EQ(drawn(d.d, rect, one), blank.bytes());
  ftdrawer_set_margin(d.d, -9);
  EXPECT_EQ(drawn(d.d, rect, one), reference(d.d, {{one, 20, 10}}, rect));
}

TEST(FTDrawerTest, ClipsToTheRectangleAndTheCallersClipAndPutsTheClipBack) {
  Drawer d;
  ftdrawer_set_font_size(d.d, 30);
  ftdrawer_set_color(d.d, 0xFF2040A0u);
  const std::u16string big = u"Big text here";
  const FRect rect{30, 30, 69, 49};
  TestCanvas c;
  const std::vector<uint8_t> before = c.bytes();
  ASSERT_EQ(ftdrawer_draw_text(d.d, &c.canvas, &rect, big.data(), static_cast<int32_t>(big.size())), 1);
  int inked = 0;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      const bool changed = fbitmap_get_pixel(c.canvas.bitmap, x, y) != kPaper;
      if (x < 30 || x > 69 || y < 30 || y > 49) { EXPECT_FALSE(changed) << x << "," << y; }
      inked += changed;
    }
  }
  EXPECT_GT(inked, 0);
  EXPECT_EQ(fcanvas_get_font_size(&c.canvas), 30);  // the drawer's font stays on the canvas
  EXPECT_EQ(fcanvas_get_pen_color(&c.canvas), 0xFF2040A0u);

  // With the caller's clip on, the text lands only in both; the clip comes back as it was.
  TestCanvas clipped;
  const FRect caller{0, 0, 49, 119};
  fcanvas_set_clip(&clipped.canvas, &caller);
  ASSERT_EQ(ftdrawer_draw_text(d.d, &clipped.canvas, &rect, big.data(),
                               static_cast<int32_t>(big.size())),
            1);
  EXPECT_EQ(clipped.canvas.clip_on, 1);
  EXPECT_TRUE(frect_equal(clipped.canvas.clip, caller));
  EXPECT_EQ(clipped.bytes(), reference(d.d, {{big, 30, 30}}, FRect{30, 30, 49, 49}));

  // A clip that misses the rectangle, an empty text or none: nothing drawn, success.
  TestCanvas missed;
  const FRect far{150, 100, 160, 110};
  fcanvas_set_clip(&missed.canvas, &far);
  EXPECT_EQ(ftdrawer_draw_text(d.d, &missed.canvas, &rect, big.data(), 3), 1);
  EXPECT_EQ(ftdrawer_draw_text(d.d, &missed.canvas, &rect, big.data(), 0), 1);
  EXPECT_EQ(ftdrawer_draw_text(d.d, &missed.canvas, &rect, nullptr, 5), 1);
  EXPECT_EQ(missed.bytes(), before);
  EXPECT_TRUE(frect_equal(missed.canvas.clip, far));
}

TEST(FTDrawerTest, TranslucentColourBlendsTheText) {
  Drawer d;
  ftdrawer_set_color(d.d, 0x800000FFu);
  const FRect rect{0, 0, kWidth - 1, kHeight - 1};
  const std::vector<uint8_t> half = drawn(d.d, rect, u"Half");
  EXPECT_EQ(half, reference(d.d, {{u"Half", 0, 0}}, rect));
  // Half-transparent blue never reaches full blue: red stays near half of the paper's.
  int inked = 0;
  for (size_t i = 0; i < half.size(); i += 4) {
    if (half[i] == 0xF0 && half[i + 1] == 0xF0 && half[i + 2] == 0xF0) continue;
    ++inked;
    EXPECT_GE(half[i + 2], 0x70) << i / 4;
  }
  EXPECT_GT(inked, 0);
}

TEST(FTDrawerDeathTest, NullRecordsAreFatal) {
  EXPECT_DEATH(ftdrawer_copy(nullptr), "drawer!=null");
  EXPECT_DEATH(ftdrawer_set_mode(nullptr, 0), "drawer!=null");
  FTDrawer d = *ftdrawer_get_default();
  EXPECT_DEATH(ftdrawer_draw_text(&d, nullptr, nullptr, nullptr, 0), "canvas!=null");
}

}  // namespace
