// FXml: the framework's small XML reader. It turns an 8-bit text into a tree of element
// nodes (name, trimmed text, attributes) and finds elements by slash-separated paths. It
// knows elements, attributes, element text and four entities, skips declarations, and
// has an escape byte of its own ("^" steps over the byte after it wherever the reader
// looks for a delimiter; the circumflex stays in the text). There is no writer: users
// format their output themselves.
//
//   FXml* xml = fxml_create();
//   if (fxml_load_file(xml, path)) {
//     FXmlNode* width = fxml_find_path(fxml_root(xml), "Penlark/NewWidth");
//     if (width) use(fxml_value(width));
//   }
//   fxml_destroy(xml);
#pragma once

#include <cstdint>

// Syntax errors handed to the error handler and kept in FXml::last_error.
enum : int32_t {
  FXML_ERROR_DECLARATION = 100,    // "<?" or "<-" section without a closing ">"
  FXML_ERROR_TAG = 110,            // a tag without ">" (or longer than FXML_TAG_MAX)
  FXML_ERROR_TEXT = 120,           // element text not followed by "<"
  FXML_ERROR_END_TAG = 130,        // an end tag whose name differs from the element's
  FXML_ERROR_EQUALS = 140,         // an attribute without "="
  FXML_ERROR_NO_VALUE = 150,       // nothing after "="
  FXML_ERROR_QUOTE = 160,          // a quoted value without its closing quote
  FXML_ERROR_MISSING_END = 170,    // children not followed by an end tag
  FXML_ERROR_DEPTH = 180,          // elements nested deeper than FXML_DEPTH_MAX
  FXML_ERROR_MEMORY = 190,         // a string could not be allocated
};

constexpr int32_t FXML_TAG_MAX = 8191;        // bytes between "<" and ">" of one tag
constexpr int32_t FXML_DEPTH_MAX = 256;       // levels of nested elements
constexpr int64_t FXML_FILE_LIMIT = 0x6400001;  // 100 MiB + 1: files this large are refused

struct FXmlNode {
  FXmlNode* child;           // owned, first child element, may be null
  FXmlNode* sibling;         // owned, next element on the same level, may be null
  char* name;                // owned; null only in placeholders, which parsing removes
  char* value;               // owned, the trimmed text after the start tag; "" when empty
  char** attribute_names;    // owned array of owned strings, attribute_capacity slots
  char** attribute_values;   // owned array of owned strings, same slots
  int32_t attribute_count;
  int32_t attribute_capacity;  // 5 at creation, grown by 10
};

struct FXml;
// Called for every syntax error. Without a handler the first error ends parsing with 0;
// with one, parsing goes on past the error (a nesting-depth error still ends it).
using FXmlErrorHandler = void (*)(FXml* xml, int32_t code);

struct FXml {
  const char* text;     // not owned; the text being parsed (null after fxml_load_file)
  int32_t length;       // bytes of text
  int32_t line;         // line feeds passed so far
  int32_t column;       // bytes since the last line feed
  int32_t position;     // index into text
  int32_t at_end;       // 1 once position reached length
  FXmlNode* root;       // owned, first top-level element, may be null
  FXmlErrorHandler error_handler;  // may be null
  int32_t last_error;   // code of the last syntax error of the last parse, 0 for none
};

// A new parser with every field zero; null when memory is short. fxml_destroy frees it.
FXml* fxml_create();

// Reads the whole file at the UTF-8 `path` (opened read-only) and parses it. 0 when the
// file cannot be opened, is not a regular file, is empty or FXML_FILE_LIMIT bytes or
// larger, memory runs out, or parsing fails; else 1.
int fxml_load_file(FXml* xml, const char* path);

// Parses the zero-terminated `text` into a new tree, replacing the previous one. 1 on
// success; on failure the tree is empty (fxml_root gives null) and the result is 0.
int fxml_parse(FXml* xml, const char* text);

// The first top-level element, or null. Owned by the parser.
FXmlNode* fxml_root(FXml* xml);

// The first node of the sibling chain starting at `node` (node included) whose name is
// `name` (case-sensitive, compared as stored); null when none or when `node` is null.
FXmlNode* fxml_find_sibling(FXmlNode* node, const char* name);

// The element at `path` ("A/B/C"; a leading "/" changes nothing, empty parts are
// skipped): A is looked for among `node` and its siblings, every further part among the
// children of the element found so far. Null on any miss.
FXmlNode* fxml_find_path(FXmlNode* node, const char* path);

// The node's name and value after decoding "&lt;", "&gt;", "&quot;" and "&amp;" in
// place, in that order. Each call decodes again, so text read twice may be decoded twice.
char* fxml_name(FXmlNode* node);
char* fxml_value(FXmlNode* node);

// Frees the whole tree and the parser.
void fxml_destroy(FXml* xml);
