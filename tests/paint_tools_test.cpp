// The tool table: the 26 tools created in order with their ids, English names and tips
// (and Russian ones once the language file is loaded), added to the paint context in the
// same order, the owner handed only to the tools that ask for it, each tool built by the
// right unit with the right style, and a context without room for them left untouched.

#include "paint_tools.h"

#include <gtest/gtest.h>

#include <string>

#include "fresource.h"
#include "fsys.h"
#include "paint_context.h"
#include "paint_history.h"
#include "paint_strings.h"
#include "shape_flood.h"
#include "shape_geometric.h"
#include "shape_position.h"
#include "shape_straw.h"
#include "shape_text.h"

namespace {

std::string utf8(const char16_t* s) {
  char out[1024];
  return fsys_utf8_from_utf16(s, out, sizeof out) >= 0 ? out : "(too long)";
}

struct Expected {
  uint32_t id;
  const char* name;
  uint32_t name_id;
  const char* tip;
  bool owned;
};

const Expected kTable[PAINT_TOOL_COUNT] = {
    {1, "Pencil", 25046, "Draw a free-form line with the selected line width and color.", false},
    {2, "Line", 25048, "Draw a straight line with the selected line width and color.", false},
    {101, "Rectangle Outline", 25050, "Draw a rectangle outline with the selected line width and color.", false},
    {102, "Filled Rectangle", 25052, "Draw a filled rectangle with the selected color.", false},
    {103, "Round Rectangle Outline", 25054, "Draw a round rectangle outline with the selected line width and color.", false},
    {104, "Filled Round Rectangle", 25056, "Draw a filled round rectangle with the selected color.", false},
    {201, "Ellipse Outline", 25058, "Draw a ellipse outline with the selected line width and color.", false},
    {202, "Filled Ellipse", 25060, "Draw a filled ellipse with the selected color.", false},
    {203, "Circle Outline", 25062, "Draw a circle outline with the selected line width and color.", false},
    {204, "Filled Circle", 25064, "Draw a filled circle with the selected color.", false},
    {5, "Eraser", 25066, "Erase part of the painting and replace it with the selected line width and canvas background color.", false},
    {6, "Pan", 25068, "Click the canvas and move it. Thumbnail window will be displayed.", true},
    {7, "Text", 25070, "Insert text into painting.", true},
    {8, "Color Picker", 25072, "Pick a color from the painting and use it for drawing.", true},
    {9, "Paint Bucket", 25074, "Click an area on the canvas to fill it with the selected color.", true},
    {10, "Curve", 25076, "Draw a smooth, curved line with the selected line width and color.", true},
    {301, "Triangle Outline", 25078, "Draw a triangle outline with the selected line width and color.", true},
    {302, "Filled Triangle", 25080, "Draw a filled triangle with the selected color.", false},
    {303, "Rhombus Outline", 25082, "Draw a rhombus outline with the selected line width and color.", false},
    {304, "Filled Rhombus", 25084, "Draw a filled rhombus with the selected color.", false},
    {305, "Pentagon Outline", 25086, "Draw a pentagon outline with the selected line width and color.", false},
    {306, "Filled Pentagon", 25088, "Draw a filled pentagon with the selected color.", false},
    {307, "Pentagram Outline", 25090, "Draw a pentagram outline with the selected line width and color.", true},
    {308, "Filled Pentagram", 25092, "Draw a filled pentagram with the selected color.", true},
    {309, "Heart Outline", 25094, "Draw a heart outline with the selected line width and color.", true},
    {310, "Filled Heart", 25096, "Draw a filled heart with the selected color.", true},
};

class ToolTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fres_unload_all();
    pc = paint_context_create(nullptr, 32, 24, 0xFF000000u, 0xFFFFFFFFu, 0xFFFFFFFFu, 1, 0, 0, 0);
    ASSERT_NE(pc, nullptr);
  }
  void TearDown() override {
    paint_tools_destroy(tools);
    paint_context_destroy(pc);
    fres_unload_all();
  }
  PaintContext* pc = nullptr;
  Shape* tools[PAINT_TOOL_COUNT] = {};
  int owner = 0;  // stands for the application record
};

TEST_F(ToolTableTest, TwentySixToolsInOrderWithTheirIdsTextsAndOwners) {
  ASSERT_EQ(paint_tools_create(pc, nullptr, &owner, tools), 1);
  ASSERT_EQ(pc->shape_count, PAINT_TOOL_COUNT);
  for (int i = 0; i < PAINT_TOOL_COUNT; ++i) {
    const Expected& e = kTable[i];
    ASSERT_NE(tools[i], nullptr) << i;
    EXPECT_EQ(pc->shapes[i], tools[i]) << i;
    EXPECT_EQ(shape_get_id(tools[i]), e.id) << i;
    EXPECT_EQ(utf8(shape_get_name(tools[i])), e.name) << i;
    EXPECT_EQ(utf8(shape_get_tip(tools[i])), e.tip) << i;
    EXPECT_EQ(paint_tool_table[i].name.id, e.name_id) << i;
    EXPECT_EQ(paint_tool_table[i].tip.id, e.name_id + 1) << i;
    EXPECT_EQ(tools[i]->owner, e.owned ? static_cast<void*>(&owner) : nullptr) << i;
    EXPECT_EQ(tools[i]->context, pc);
    EXPECT_NE(tools[i]->on_pen, nullptr) << i;
    EXPECT_EQ(paint_context_find_shape(pc, e.id), tools[i]);
  }
  EXPECT_EQ(pc->shapes[0], paint_context_find_shape(pc, 1));  // pencil first

  // Styles, sides and variants reach the two-point tools.
  auto style = [&](uint32_t id) {
    return reinterpret_cast<ShapeTwoPoint*>(paint_context_find_shape(pc, id))->style;
  };
  EXPECT_EQ(style(101), SHAPE_STYLE_OUTLINE);
  EXPECT_EQ(style(104), SHAPE_STYLE_FILLED);
  EXPECT_EQ(style(203), SHAPE_STYLE_CIRCLE_OUTLINE);
  EXPECT_EQ(style(204), SHAPE_STYLE_CIRCLE_FILLED);
  EXPECT_EQ(style(306), SHAPE_STYLE_FILLED);
  EXPECT_EQ(style(309), SHAPE_STYLE_OUTLINE);
  for (const PaintToolEntry& e : paint_tool_table) {
    if (e.unit != PaintToolUnit::polygon) continue;
    const int32_t sides = e.id <= 302 ? 3 : e.id <= 304 ? 4 : 5;
    EXPECT_EQ(e.sides, sides) << e.id;
    EXPECT_EQ(e.variant, sides == 4 ? SHAPE_POLYGON_INSCRIBED : SHAPE_POLYGON_REGULAR) << e.id;
  }
  // The tools of this unit are the right records: their own operations are installed.
  EXPECT_NE(paint_context_find_shape(pc, 9)->load, nullptr);   // the bucket's 8-byte load
  EXPECT_EQ(paint_context_find_shape(pc, 6)->draw, nullptr);   // pan draws nothing
  EXPECT_NE(paint_context_find_shape(pc, 7)->draw, nullptr);   // the text frame
  EXPECT_EQ(reinterpret_cast<ShapeFlood*>(paint_context_find_shape(pc, 9))->seed_x, -1);

  paint_tools_destroy(tools);
  for (Shape* t : tools) EXPECT_EQ(t, nullptr);
}

TEST_F(ToolTableTest, TheHistoryReplaysTextStepsThroughTheTextTool) {
  PaintHistory history{};
  ASSERT_EQ(paint_tools_create(pc, &history, nullptr, tools), 1);
  EXPECT_EQ(history.replay_text, shape_text_replay);
  EXPECT_EQ(history.replay_picture, nullptr);
  EXPECT_EQ(paint_context_find_shape(pc, 7)->history, &history);
}

TEST_F(ToolTableTest, NamesAndTipsComeFromTheLoadedLanguage) {
  ASSERT_NE(fres_load((std::string(PENLARK_RES_DIR) + "/ru_ru.lang").c_str()), 0);
  ASSERT_EQ(paint_tools_create(pc, nullptr, nullptr, tools), 1);
  EXPECT_EQ(utf8(shape_get_name(tools[0])), "Карандаш");
  EXPECT_EQ(utf8(shape_get_tip(tools[0])), utf8(fres_get_string(25047)));
  EXPECT_NE(utf8(shape_get_tip(tools[0])), kTable[0].tip);
  EXPECT_EQ(utf8(shape_get_name(tools[25])), utf8(fres_get_string(25096)));
}

TEST_F(ToolTableTest, AContextWithoutRoomGetsNoTools) {
  // 103 tools already held: 26 more would pass 128.
  Shape filler{};
  shape_init(&filler, 999, u"filler", pc, nullptr, nullptr);
  for (int i = 0; i < 103; ++i) ASSERT_EQ(paint_context_add_shape(pc, &filler), 1);
  Shape* stale = &filler;
  tools[3] = stale;
  EXPECT_EQ(paint_tools_create(pc, nullptr, nullptr, tools), 0);
  EXPECT_EQ(pc->shape_count, 103);
  for (Shape* t : tools) EXPECT_EQ(t, nullptr);

  // With 102 there is exactly room.
  pc->shape_count = 102;
  ASSERT_EQ(paint_tools_create(pc, nullptr, nullptr, tools), 1);
  EXPECT_EQ(pc->shape_count, 128);
  EXPECT_EQ(pc->shapes[102], tools[0]);
}

}  // namespace
