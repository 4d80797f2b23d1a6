// The paint program's localised texts: message boxes, tool names and tips, menus (item
// strings "text/image/..." whose fields after the first are never translated), dialog
// titles, save types and filters. Each is a string id from 25001 with its built-in English
// text; the language files res/strings/penlrk.<lang>.txt carry the same ids, compiled into
// penlrk.fres (English) and <lang>.lang. Some English texts keep their historic wording
// ("Ellpise Outline", "No enough memory."): they are the program's own strings.
//
// One list makes both the named constants and paint_strings_all, so a text can never be
// added to one without the other. Show a text with fres_text(PAINT_STR_SAVED_OK).
#pragma once

#include "fresource.h"

#define PAINT_STRING_LIST(X) \
  /* Message box titles: question, error, stop */ \
  X(PAINT_STR_QUESTION_TITLE, 25001, u"Penlark") \
  X(PAINT_STR_ERROR_TITLE, 25002, u"Error") \
  X(PAINT_STR_STOP_TITLE, 25003, u"Stop") \
  /* Help: a web page that the shell cannot open */ \
  X(PAINT_STR_FAIL_TO_OPEN_WEB_PAGE, 25005, u"Can not open the web page.") \
  /* New painting */ \
  X(PAINT_STR_NO_MEMORY_FOR_NEW_EMPTY_PAINT, 25008, u"Not enough memory to create new empty paint.") \
  X(PAINT_STR_NO_MEMORY_FOR_NEW_PAINT, 25010, u"Not enough memory to create new paint.") \
  /* Opening a picture (image bar, new painting from a picture, camera) */ \
  X(PAINT_STR_FAIL_TO_OPEN_PICTURE_START, 25011, u"Fail to open this picture (-1).") \
  X(PAINT_STR_FAIL_TO_OPEN_PICTURE_DISPLAY, 25012, u"Fail to open this picture (-2).") \
  X(PAINT_STR_FAIL_TO_OPEN_PICTURE_DECODE, 25013, u"Fail to open this picture (-3).") \
  X(PAINT_STR_FAIL_TO_OPEN_PICTURE_FIT, 25014, u"Fail to open this picture (-4).") \
  X(PAINT_STR_FAIL_TO_OPEN_PICTURE_FIT_ALPHA, 25015, u"Fail to open this picture (-5).") \
  X(PAINT_STR_LOADING_PICTURE, 25016, u"Loading picture...") \
  X(PAINT_STR_CANNOT_OPEN_FILE, 25017, u"Cannot open file \"%s\"") \
  X(PAINT_STR_FAIL_TO_LAUNCH_CAMERA, 25019, u"Fail to launch camera.") \
  /* Zoom and picture placement */ \
  X(PAINT_STR_NO_MEMORY_FOR_TASK, 25020, u"Not enough memory to complete this task.") \
  /* Send and share (the share text is one SMS; the sender turns the line break into CR LF) */ \
  X(PAINT_STR_SAVING_TEMPORARY_FILE, 25023, u"Saving paint to temporary file...") \
  X(PAINT_STR_CANNOT_SEND, 25024, u"Can not send paint.") \
  X(PAINT_STR_SHARE_MESSAGE, 25025, u"Get Penlark at https://penlark.example/\nJust draw your mind right on your mobile phone! Enjoy the release of your imagination!") \
  X(PAINT_STR_SMS_NOT_SUPPORTED, 25026, u"Not supported to launch Send SMS UI.") \
  /* Document file: saving, opening and the reasons shown after "Fail to open paint" */ \
  X(PAINT_STR_FAIL_TO_SAVE, 25029, u"Fail to save file (code: %d).") \
  X(PAINT_STR_FAIL_TO_OPEN_PAINT, 25030, u"Fail to open paint (code: %d)\n%s.") \
  X(PAINT_STR_CONFIRM_OVERWRITE, 25031, u"File '%s' exists, do you want to overwrite it?") \
  X(PAINT_STR_SAVING_FILE, 25032, u"Saving file...") \
  X(PAINT_STR_SAVED_OK, 25033, u"Saved Ok") \
  X(PAINT_STR_FILE_NAME_EMPTY, 25034, u"File name can not be empty.") \
  X(PAINT_STR_FILE_NAME_INVALID, 25035, u"File name contains invalid char such as %s") \
  X(PAINT_STR_LOADING_PAINT, 25036, u"Loading paint...") \
  X(PAINT_STR_NO_MEMORY, 25037, u"No enough memory.") \
  X(PAINT_STR_DAMAGED_FILE, 25038, u"Damaged file.") \
  X(PAINT_STR_HIGHER_VERSION, 25039, u"Can not open higher version of paint file.") \
  X(PAINT_STR_INVALID_FORMAT, 25040, u"Invalid file format.") \
  X(PAINT_STR_FAIL_TO_OPEN_FILE, 25041, u"Fail to open this file.") \
  X(PAINT_STR_ASK_SAVE_CHANGES, 25042, u"Save paint changes to file?") \
  /* Zoom */ \
  X(PAINT_STR_FAIL_TO_COMPLETE_TASK, 25044, u"Fail to complete this task.") \
  /* Tools: name, then tip */ \
  X(PAINT_STR_TOOL_PENCIL, 25046, u"Pencil") \
  X(PAINT_STR_TOOL_PENCIL_TIP, 25047, u"Draw a free-form line with the selected line width and color.") \
  X(PAINT_STR_TOOL_LINE, 25048, u"Line") \
  X(PAINT_STR_TOOL_LINE_TIP, 25049, u"Draw a straight line with the selected line width and color.") \
  X(PAINT_STR_TOOL_RECT_OUTLINE, 25050, u"Rectangle Outline") \
  X(PAINT_STR_TOOL_RECT_OUTLINE_TIP, 25051, u"Draw a rectangle outline with the selected line width and color.") \
  X(PAINT_STR_TOOL_RECT_FILLED, 25052, u"Filled Rectangle") \
  X(PAINT_STR_TOOL_RECT_FILLED_TIP, 25053, u"Draw a filled rectangle with the selected color.") \
  X(PAINT_STR_TOOL_ROUNDRECT_OUTLINE, 25054, u"Round Rectangle Outline") \
  X(PAINT_STR_TOOL_ROUNDRECT_OUTLINE_TIP, 25055, u"Draw a round rectangle outline with the selected line width and color.") \
  X(PAINT_STR_TOOL_ROUNDRECT_FILLED, 25056, u"Filled Round Rectangle") \
  X(PAINT_STR_TOOL_ROUNDRECT_FILLED_TIP, 25057, u"Draw a filled round rectangle with the selected color.") \
  X(PAINT_STR_TOOL_ELLIPSE_OUTLINE, 25058, u"Ellipse Outline") \
  X(PAINT_STR_TOOL_ELLIPSE_OUTLINE_TIP, 25059, u"Draw a ellipse outline with the selected line width and color.") \
  X(PAINT_STR_TOOL_ELLIPSE_FILLED, 25060, u"Filled Ellipse") \
  X(PAINT_STR_TOOL_ELLIPSE_FILLED_TIP, 25061, u"Draw a filled ellipse with the selected color.") \
  X(PAINT_STR_TOOL_CIRCLE_OUTLINE, 25062, u"Circle Outline") \
  X(PAINT_STR_TOOL_CIRCLE_OUTLINE_TIP, 25063, u"Draw a circle outline with the selected line width and color.") \
  X(PAINT_STR_TOOL_CIRCLE_FILLED, 25064, u"Filled Circle") \
  X(PAINT_STR_TOOL_CIRCLE_FILLED_TIP, 25065, u"Draw a filled circle with the selected color.") \
  X(PAINT_STR_TOOL_ERASER, 25066, u"Eraser") \
  X(PAINT_STR_TOOL_ERASER_TIP, 25067, u"Erase part of the painting and replace it with the selected line width and canvas background color.") \
  X(PAINT_STR_TOOL_PAN, 25068, u"Pan") \
  X(PAINT_STR_TOOL_PAN_TIP, 25069, u"Click the canvas and move it. Thumbnail window will be displayed.") \
  X(PAINT_STR_TOOL_TEXT, 25070, u"Text") \
  X(PAINT_STR_TOOL_TEXT_TIP, 25071, u"Insert text into painting.") \
  X(PAINT_STR_TOOL_COLOR_PICKER, 25072, u"Color Picker") \
  X(PAINT_STR_TOOL_COLOR_PICKER_TIP, 25073, u"Pick a color from the painting and use it for drawing.") \
  X(PAINT_STR_TOOL_PAINT_BUCKET, 25074, u"Paint Bucket") \
  X(PAINT_STR_TOOL_PAINT_BUCKET_TIP, 25075, u"Click an area on the canvas to fill it with the selected color.") \
  X(PAINT_STR_TOOL_CURVE, 25076, u"Curve") \
  X(PAINT_STR_TOOL_CURVE_TIP, 25077, u"Draw a smooth, curved line with the selected line width and color.") \
  X(PAINT_STR_TOOL_TRIANGLE_OUTLINE, 25078, u"Triangle Outline") \
  X(PAINT_STR_TOOL_TRIANGLE_OUTLINE_TIP, 25079, u"Draw a triangle outline with the selected line width and color.") \
  X(PAINT_STR_TOOL_TRIANGLE_FILLED, 25080, u"Filled Triangle") \
  X(PAINT_STR_TOOL_TRIANGLE_FILLED_TIP, 25081, u"Draw a filled triangle with the selected color.") \
  X(PAINT_STR_TOOL_RHOMBUS_OUTLINE, 25082, u"Rhombus Outline") \
  X(PAINT_STR_TOOL_RHOMBUS_OUTLINE_TIP, 25083, u"Draw a rhombus outline with the selected line width and color.") \
  X(PAINT_STR_TOOL_RHOMBUS_FILLED, 25084, u"Filled Rhombus") \
  X(PAINT_STR_TOOL_RHOMBUS_FILLED_TIP, 25085, u"Draw a filled rhombus with the selected color.") \
  X(PAINT_STR_TOOL_PENTAGON_OUTLINE, 25086, u"Pentagon Outline") \
  X(PAINT_STR_TOOL_PENTAGON_OUTLINE_TIP, 25087, u"Draw a pentagon outline with the selected line width and color.") \
  X(PAINT_STR_TOOL_PENTAGON_FILLED, 25088, u"Filled Pentagon") \
  X(PAINT_STR_TOOL_PENTAGON_FILLED_TIP, 25089, u"Draw a filled pentagon with the selected color.") \
  X(PAINT_STR_TOOL_PENTAGRAM_OUTLINE, 25090, u"Pentagram Outline") \
  X(PAINT_STR_TOOL_PENTAGRAM_OUTLINE_TIP, 25091, u"Draw a pentagram outline with the selected line width and color.") \
  X(PAINT_STR_TOOL_PENTAGRAM_FILLED, 25092, u"Filled Pentagram") \
  X(PAINT_STR_TOOL_PENTAGRAM_FILLED_TIP, 25093, u"Draw a filled pentagram with the selected color.") \
  X(PAINT_STR_TOOL_HEART_OUTLINE, 25094, u"Heart Outline") \
  X(PAINT_STR_TOOL_HEART_OUTLINE_TIP, 25095, u"Draw a heart outline with the selected line width and color.") \
  X(PAINT_STR_TOOL_HEART_FILLED, 25096, u"Filled Heart") \
  X(PAINT_STR_TOOL_HEART_FILLED_TIP, 25097, u"Draw a filled heart with the selected color.") \
  /* Shape family menus, item strings: text/-1/%d/icon (%d: 0 marks the family button's member, -1 the others) */ \
  X(PAINT_STR_FAMILY_RECT_OUTLINE, 25098, u"Rect Outline/-1/%d/1") \
  X(PAINT_STR_FAMILY_RECT_FILLED, 25099, u"Filled Rect/-1/%d/2") \
  X(PAINT_STR_FAMILY_ROUNDRECT_OUTLINE, 25100, u"Round Rect Outline/-1/%d/3") \
  X(PAINT_STR_FAMILY_ROUNDRECT_FILLED, 25101, u"Filled Round Rect/-1/%d/4") \
  X(PAINT_STR_FAMILY_ELLIPSE_OUTLINE, 25102, u"Ellpise Outline/-1/%d/1") \
  X(PAINT_STR_FAMILY_ELLIPSE_FILLED, 25103, u"Filled Ellipse/-1/%d/2") \
  X(PAINT_STR_FAMILY_CIRCLE_OUTLINE, 25104, u"Circle Outline/-1/%d/3") \
  X(PAINT_STR_FAMILY_CIRCLE_FILLED, 25105, u"Filled Circle/-1/%d/4") \
  X(PAINT_STR_FAMILY_TRIANGLE_OUTLINE, 25106, u"Triangle Outline/-1/%d/1") \
  X(PAINT_STR_FAMILY_TRIANGLE_FILLED, 25107, u"Filled Triangle/-1/%d/2") \
  X(PAINT_STR_FAMILY_RHOMBUS_OUTLINE, 25108, u"Rhombus Outline/-1/%d/3") \
  X(PAINT_STR_FAMILY_RHOMBUS_FILLED, 25109, u"Filled Rhombus/-1/%d/4") \
  X(PAINT_STR_FAMILY_PENTAGON_OUTLINE, 25110, u"Pentagon Outline/-1/%d/5") \
  X(PAINT_STR_FAMILY_PENTAGON_FILLED, 25111, u"Filled Pentagon/-1/%d/6") \
  X(PAINT_STR_FAMILY_PENTAGRAM_OUTLINE, 25112, u"Pentagram Outline/-1/%d/7") \
  X(PAINT_STR_FAMILY_PENTAGRAM_FILLED, 25113, u"Filled Pentagram/-1/%d/8") \
  X(PAINT_STR_FAMILY_HEART_OUTLINE, 25114, u"Heart Outline/-1/%d/9") \
  X(PAINT_STR_FAMILY_HEART_FILLED, 25115, u"Filled Heart/-1/%d/10") \
  /* Toolbar commands: tip title, then description */ \
  X(PAINT_STR_CMD_UNDO, 25116, u"Undo") \
  X(PAINT_STR_CMD_UNDO_TIP, 25117, u"Undo last action.") \
  X(PAINT_STR_CMD_REDO, 25118, u"Redo") \
  X(PAINT_STR_CMD_REDO_TIP, 25119, u"Redo last action.") \
  X(PAINT_STR_CMD_CLEAR, 25120, u"Clear Painting") \
  X(PAINT_STR_CMD_CLEAR_TIP, 25121, u"Set the canvas as empty.") \
  X(PAINT_STR_CMD_LINE_WIDTH, 25122, u"Line Width") \
  X(PAINT_STR_CMD_LINE_WIDTH_TIP, 25123, u"Select the line width for the selected tool.") \
  X(PAINT_STR_CMD_ZOOM, 25124, u"Zoom In/Zoom Out") \
  X(PAINT_STR_CMD_ZOOM_TIP, 25125, u"Display/hide zoom bar for scaling painting. Use Zoom in and Zoom out to see a larger or smaller view of your painting.") \
  X(PAINT_STR_CMD_INSERT_PICTURE, 25126, u"Insert Picture") \
  X(PAINT_STR_CMD_INSERT_PICTURE_TIP, 25127, u"Insert an existing picture or clip art into painting.") \
  X(PAINT_STR_CMD_RESIZE_CANVAS, 25128, u"Resize Canvas") \
  X(PAINT_STR_CMD_RESIZE_CANVAS_TIP, 25129, u"Expand or contract the canvas for drawing.") \
  /* Toolbar options menu, item strings: text/-1/%d (%d: 0 when on, -1 when off) */ \
  X(PAINT_STR_OPTION_TRANSLUCENT, 25130, u"Translucent/-1/%d") \
  X(PAINT_STR_OPTION_AUTO_HIDE, 25131, u"Auto Hide/-1/%d") \
  /* Screenshot wait dialog: title, text */ \
  X(PAINT_STR_WAITING_SCREENSHOT_TITLE, 25132, u"Waiting screenshot") \
  X(PAINT_STR_WAITING_SCREENSHOT_TEXT, 25133, u"\nScreen will be captured in 10 seconds.") \
  /* About dialog title */ \
  X(PAINT_STR_ABOUT_TITLE, 25135, u"About") \
  /* Command panel buttons (the short My Paints label is for low-resolution screens) */ \
  X(PAINT_STR_PANEL_NEW, 25140, u"New") \
  X(PAINT_STR_PANEL_SAVE, 25141, u"Save") \
  X(PAINT_STR_PANEL_SAVE_AS, 25142, u"Save As") \
  X(PAINT_STR_PANEL_SEND, 25143, u"Send") \
  X(PAINT_STR_PANEL_MY_PAINTS_SHORT, 25144, u"MyPaints") \
  X(PAINT_STR_PANEL_MY_PAINTS, 25145, u"My Paints") \
  X(PAINT_STR_PANEL_HELP, 25146, u"Help") \
  X(PAINT_STR_PANEL_SHARE, 25148, u"Share") \
  X(PAINT_STR_PANEL_ABOUT, 25149, u"About") \
  X(PAINT_STR_PANEL_QUIT, 25150, u"Quit") \
  /* New menu, item strings: text/-1/icon */ \
  X(PAINT_STR_NEW_MENU_EMPTY_PAINT, 25161, u"Empty Paint/-1/0") \
  X(PAINT_STR_NEW_MENU_OPEN_PICTURE, 25162, u"Open Picture/-1/1") \
  X(PAINT_STR_NEW_MENU_TAKE_PICTURE, 25163, u"Take a Picture/-1/2") \
  X(PAINT_STR_NEW_MENU_TAKE_SCREENSHOT, 25164, u"Take a Screenshot/-1/3") \
  /* Dialog titles and texts */ \
  X(PAINT_STR_OPEN_PICTURE_TITLE, 25166, u"Open Picture") \
  X(PAINT_STR_WAITING_PICTURE_TITLE, 25167, u"Waiting picture") \
  X(PAINT_STR_WAITING_PICTURE_TEXT, 25168, u"\nPenlark is waiting for picture from your camera now.") \
  X(PAINT_STR_HELP_TITLE, 25169, u"Help") \
  X(PAINT_STR_SAVE_AS_TITLE, 25170, u"Save %s As") \
  X(PAINT_STR_UNTITLED, 25171, u"Untitled") \
  /* Picture filters, item strings: text/patterns (only the text is translated) */ \
  X(PAINT_STR_FILTER_ALL_PICTURES, 25172, u"All Image Files(*.bmp;*.jpg;*.png;*.gif)/*.bmp;*.jpg;*.png;*.gif") \
  X(PAINT_STR_FILTER_BMP, 25173, u"Bitmap Files(*.bmp)/*.bmp") \
  X(PAINT_STR_FILTER_JPEG, 25174, u"JPEG Files(*.jpg)/*.jpg") \
  X(PAINT_STR_FILTER_PNG, 25175, u"PNG Files(*.png)/*.png") \
  X(PAINT_STR_FILTER_GIF, 25176, u"GIF Files(*.gif)/*.gif") \
  /* Send menu, item strings: text/-1 */ \
  X(PAINT_STR_SEND_BEAM, 25177, u"Via Wireless Transfer/-1") \
  X(PAINT_STR_SEND_MMS, 25178, u"Via MMS/-1") \
  X(PAINT_STR_SEND_EMAIL, 25179, u"Via E-Mail/-1") \
  /* More dialog titles */ \
  X(PAINT_STR_MY_PAINTS_TITLE, 25180, u"My Paints") \
  X(PAINT_STR_NEW_EMPTY_PAINT_TITLE, 25183, u"New Empty Paint") \
  /* Save types of the save-as dialog */ \
  X(PAINT_STR_SAVE_TYPE_PLK, 25186, u"Penlark Format(*.plk)") \
  X(PAINT_STR_SAVE_TYPE_BMP_TRUE_COLOR, 25187, u"BMP - true color(*.bmp)") \
  X(PAINT_STR_SAVE_TYPE_BMP_256_COLORS, 25188, u"BMP - 256 colors(*.bmp)") \
  X(PAINT_STR_SAVE_TYPE_BMP_GRAY, 25189, u"BMP - gray color(*.bmp)") \
  X(PAINT_STR_SAVE_TYPE_JPEG_LOW, 25190, u"JPEG - low quality(*.jpg)") \
  X(PAINT_STR_SAVE_TYPE_JPEG_MEDIUM, 25191, u"JPEG - medium quality(*.jpg)") \
  X(PAINT_STR_SAVE_TYPE_JPEG_HIGH, 25192, u"JPEG - high quality(*.jpg)") \
  X(PAINT_STR_SAVE_TYPE_GIF, 25193, u"GIF file(*.gif)") \
  X(PAINT_STR_SAVE_TYPE_PNG, 25194, u"PNG file(*.png)") \
  /* Text bar style menu, item strings: text/-1/%d (%d: 0 when the style is on, -1 when off) */ \
  X(PAINT_STR_STYLE_BOLD, 25198, u"Bold/-1/%d") \
  X(PAINT_STR_STYLE_ITALIC, 25199, u"Italic/-1/%d") \
  X(PAINT_STR_STYLE_UNDERLINE, 25200, u"Underline/-1/%d") \
  X(PAINT_STR_STYLE_STRIKEOUT, 25201, u"Strikeout/-1/%d") \
  /* Image bar options menu (the first is an item string: text/-1/%d) */ \
  X(PAINT_STR_IMAGE_CONSTRAIN_PROPORTIONS, 25202, u"Constrain Proportions/-1/%d") \
  X(PAINT_STR_IMAGE_ACTUAL_SIZE, 25203, u"Actual Size") \
  /* Screenshot failure */ \
  X(PAINT_STR_FAIL_TO_TAKE_SCREENSHOT, 25204, u"Fail to take a screenshot.") \
  /* Zoom bar (the current zoom and the presets are shown through the percent format) */ \
  X(PAINT_STR_ZOOM_WHOLE_CANVAS, 25205, u"Whole Canvas") \
  X(PAINT_STR_ZOOM_CANVAS_WIDTH, 25206, u"Canvas Width") \
  X(PAINT_STR_ZOOM_HIDE, 25207, u"Hide") \
  X(PAINT_STR_ZOOM_PERCENT, 25208, u"%d%%") \
  /* Colour and transparency panels */ \
  X(PAINT_STR_RECENT_COLORS, 25209, u"Recent Colors") \
  X(PAINT_STR_MORE_COLORS, 25210, u"More Colors...") \
  X(PAINT_STR_ALPHA_TIP, 25211, u"Expand here to change the pencil's hardness") \
  /* New Empty Paint dialog */ \
  X(PAINT_STR_CANVAS_SIZE_LABEL, 25212, u"Canvas Size:") \
  X(PAINT_STR_CANVAS_WIDTH_LABEL, 25213, u"Width:") \
  X(PAINT_STR_CANVAS_HEIGHT_LABEL, 25214, u"Height:") \
  X(PAINT_STR_CANVAS_COLOR_LABEL, 25215, u"Canvas Color:") \
  X(PAINT_STR_CONSTRAIN_PROPORTIONS, 25216, u"Constrain Proportions") \
  X(PAINT_STR_CANVAS_SIZE_OUT_OF_RANGE, 25217, u"You need to specify width or(and) height between 1-1024.") \
  /* My Paints document browser */ \
  X(PAINT_STR_MY_PAINTS_OPEN, 25218, u"Open") \
  X(PAINT_STR_MY_PAINTS_DELETE, 25219, u"Delete") \
  X(PAINT_STR_CONFIRM_DELETE_PAINT, 25220, u"Do you want to delete this paint file?") \
  X(PAINT_STR_FAIL_TO_DELETE_PAINT, 25221, u"Fail to delete paint file.")

#define PAINT_STR_DEFINE(name, id, text) inline constexpr FString name{id, text};
PAINT_STRING_LIST(PAINT_STR_DEFINE)
#undef PAINT_STR_DEFINE

// Every constant above, in id order (the tests walk it).
#define PAINT_STR_ENTRY(name, id, text) name,
inline constexpr FString paint_strings_all[] = {PAINT_STRING_LIST(PAINT_STR_ENTRY)};
#undef PAINT_STR_ENTRY
inline constexpr int paint_strings_count = int(sizeof(paint_strings_all) / sizeof(FString));

// Ids ascend strictly (each is used once) and stay inside this layer's range.
static_assert([] {
  for (int i = 1; i < paint_strings_count; ++i)
    if (paint_strings_all[i].id <= paint_strings_all[i - 1].id) return false;
  return true;
}(), "paint_strings_all: ids must ascend");
static_assert(paint_strings_all[0].id >= 25001);
