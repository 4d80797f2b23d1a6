// The toolkit's localised texts: soft keys, the buttons and labels of the standard dialogs
// (file open and save, message, input, colour) and their questions. Each is a string id
// with its built-in English text; the language files res/strings/gui.<lang>.txt carry the
// same ids, compiled into gui.fres (English) and gui_<lang>.fres. Ids stay below 25001,
// where the application's own begin.
//
// One list makes both the named constants and fgui_strings_all, so a text can never be
// added to one without the other. Show a text with fres_text(FGUI_STR_OK).
#pragma once

#include "fresource.h"

#define FGUI_STRING_LIST(X) \
  /* Soft keys and dialog buttons */ \
  X(FGUI_STR_OK, 2, u"OK") \
  X(FGUI_STR_CANCEL, 3, u"Cancel") \
  X(FGUI_STR_YES, 4, u"Yes") \
  X(FGUI_STR_NO, 5, u"No") \
  X(FGUI_STR_OPEN, 6, u"Open") \
  X(FGUI_STR_SAVE, 7, u"Save") \
  X(FGUI_STR_SELECT, 8, u"Select") \
  X(FGUI_STR_CLOSE, 9, u"Close") \
  X(FGUI_STR_DELETE, 10, u"Delete") \
  X(FGUI_STR_RENAME, 11, u"Rename") \
  X(FGUI_STR_NEW_FOLDER, 12, u"New Folder") \
  X(FGUI_STR_UP, 13, u"Up") \
  X(FGUI_STR_BACK, 14, u"Back") \
  /* File dialogs: field labels and list columns */ \
  X(FGUI_STR_NAME_LABEL, 15, u"Name:") \
  X(FGUI_STR_FOLDER_LABEL, 16, u"Folder:") \
  X(FGUI_STR_FILE_TYPE_LABEL, 17, u"File type:") \
  X(FGUI_STR_FOLDER_NAME_LABEL, 18, u"Folder name:") \
  X(FGUI_STR_SIZE_COLUMN, 19, u"Size") \
  X(FGUI_STR_MODIFIED_COLUMN, 20, u"Modified") \
  X(FGUI_STR_EMPTY_LIST, 21, u"(Empty)") \
  /* File dialogs: questions and failures (%s is a file or folder name) */ \
  X(FGUI_STR_CONFIRM_DELETE, 22, u"Are you sure you want to delete \"%s\"?") \
  X(FGUI_STR_FAIL_TO_CREATE_FOLDER, 23, u"Can not create folder \"%s\".") \
  X(FGUI_STR_FAIL_TO_DELETE, 24, u"Can not delete \"%s\".") \
  X(FGUI_STR_FAIL_TO_RENAME, 25, u"Can not rename \"%s\".") \
  X(FGUI_STR_NAME_EXISTS, 26, u"\"%s\" already exists.") \
  X(FGUI_STR_NAME_EMPTY, 27, u"Name can not be empty.") \
  /* Message and wait boxes */ \
  X(FGUI_STR_INFORMATION_TITLE, 28, u"Information") \
  X(FGUI_STR_WARNING_TITLE, 29, u"Warning") \
  X(FGUI_STR_ERROR_TITLE, 30, u"Error") \
  X(FGUI_STR_PLEASE_WAIT, 31, u"Please wait...") \
  /* Colour dialog */ \
  X(FGUI_STR_COLOR_TITLE, 32, u"Color") \
  X(FGUI_STR_BASIC_COLORS, 33, u"Basic Colors") \
  X(FGUI_STR_RED_LABEL, 34, u"Red:") \
  X(FGUI_STR_GREEN_LABEL, 35, u"Green:") \
  X(FGUI_STR_BLUE_LABEL, 36, u"Blue:")

#define FGUI_STR_DEFINE(name, id, text) inline constexpr FString name{id, text};
FGUI_STRING_LIST(FGUI_STR_DEFINE)
#undef FGUI_STR_DEFINE

// Every constant above, in id order (the tests walk it).
#define FGUI_STR_ENTRY(name, id, text) name,
inline constexpr FString fgui_strings_all[] = {FGUI_STRING_LIST(FGUI_STR_ENTRY)};
#undef FGUI_STR_ENTRY
inline constexpr int fgui_strings_count = int(sizeof(fgui_strings_all) / sizeof(FString));

// Ids ascend strictly (each is used once) and stay inside this layer's range.
static_assert([] {
  for (int i = 1; i < fgui_strings_count; ++i)
    if (fgui_strings_all[i].id <= fgui_strings_all[i - 1].id) return false;
  return true;
}(), "fgui_strings_all: ids must ascend");
static_assert(fgui_strings_all[0].id >= 2 && fgui_strings_all[fgui_strings_count - 1].id < 25001);
