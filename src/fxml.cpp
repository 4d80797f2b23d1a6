// The XML reader behind the settings file. One pass over the text builds the element tree
// level by level: each level fills a placeholder node, hangs a fresh placeholder after
// every element it completes, and drops the unused last one when the level ends, so the
// finished tree holds only named elements. Nesting recurses once per level, bounded by
// FXML_DEPTH_MAX so hostile input cannot exhaust the stack; long sibling chains are plain
// loops, and freeing the tree needs neither recursion nor extra memory.
//
// fxml_parse -> parse_level (d = 0) -> read_start_tag -> read_name_and_attributes
//                                   -> element text -> parse_level (d + 1) -> read_end_tag

#include "fxml.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "fplatform.h"

namespace {

constexpr int32_t kAttributeFirstCapacity = 5;
constexpr int32_t kAttributeGrowth = 10;

// Trimming treats every control byte and the blank as white space.
bool is_trim_byte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= 32;
}

// Names and attributes are separated by blanks, tabs and line feeds only.
bool is_separator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Index of the first `delimiter` in text[from, end), stepping over the byte after every
// "^"; -1 when there is none.
int32_t find_delimiter(const char* text, int32_t from, int32_t end, char delimiter) {
  for (int32_t i = from; i < end; ++i) {
    if (text[i] == '^') {
      ++i;
      continue;
    }
    if (text[i] == delimiter) return i;
  }
  return -1;
}

void trim_range(const char* text, int32_t* begin, int32_t* end) {
  while (*begin < *end && is_trim_byte(text[*begin])) ++*begin;
  while (*end > *begin && is_trim_byte(text[*end - 1])) --*end;
}

// A zero-terminated copy of text[begin, end); null when memory is short. Free with free().
char* copy_range(const char* text, int32_t begin, int32_t end) {
  const size_t length = static_cast<size_t>(end - begin);
  auto* copy = static_cast<char*>(std::malloc(length + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, text + begin, length);
  copy[length] = 0;
  return copy;
}

// `fatal_text` names the failure for nodes whose allocation the reader cannot do without;
// null makes a shortage an ordinary null result.
FXmlNode* node_new(const char* fatal_text) {
  auto* node = new (std::nothrow) FXmlNode{};
  if (!node && !fatal_text) return nullptr;
  FCHECK(node != nullptr, fatal_text);
  node->attribute_names =
      static_cast<char**>(std::calloc(kAttributeFirstCapacity, sizeof(char*)));
  node->attribute_values =
      static_cast<char**>(std::calloc(kAttributeFirstCapacity, sizeof(char*)));
  FCHECK(node->attribute_names != nullptr && node->attribute_values != nullptr, "_array_new");
  node->attribute_capacity = kAttributeFirstCapacity;
  return node;
}

// Frees one node's strings and arrays and the node, not its child or sibling.
void node_free(FXmlNode* node) {
  for (int32_t i = 0; i < node->attribute_count; ++i) {
    std::free(node->attribute_names[i]);
    std::free(node->attribute_values[i]);
  }
  std::free(node->attribute_names);
  std::free(node->attribute_values);
  std::free(node->name);
  std::free(node->value);
  delete node;
}

// Seen as a binary tree (child left, sibling right), a node with a child is rotated right
// until it has none and can be freed, which walks the whole tree without a stack.
void tree_free(FXmlNode* node) {
  while (node) {
    if (node->child) {
      FXmlNode* child = node->child;
      node->child = child->sibling;
      child->sibling = node;
      node = child;
    } else {
      FXmlNode* next = node->sibling;
      node_free(node);
      node = next;
    }
  }
}

// Takes ownership of both strings (freeing them when the arrays cannot grow is moot:
// growth failure is fatal).
void node_append_attribute(FXmlNode* node, char* name, char* value) {
  if (node->attribute_count == node->attribute_capacity) {
    const int32_t capacity = node->attribute_capacity + kAttributeGrowth;
    auto* names = static_cast<char**>(std::calloc(static_cast<size_t>(capacity), sizeof(char*)));
    auto* values = static_cast<char**>(std::calloc(static_cast<size_t>(capacity), sizeof(char*)));
    FCHECK(names != nullptr && values != nullptr, "_name_array_new && _value_array_new");
    std::memcpy(names, node->attribute_names,
                static_cast<size_t>(node->attribute_count) * sizeof(char*));
    std::memcpy(values, node->attribute_values,
                static_cast<size_t>(node->attribute_count) * sizeof(char*));
    std::free(node->attribute_names);
    std::free(node->attribute_values);
    node->attribute_names = names;
    node->attribute_values = values;
    node->attribute_capacity = capacity;
  }
  node->attribute_names[node->attribute_count] = name;
  node->attribute_values[node->attribute_count] = value;
  ++node->attribute_count;
}

// Moves the position forward, keeping line and column.
void advance_to(FXml* xml, int32_t to) {
  for (int32_t i = xml->position; i < to; ++i) {
    if (xml->text[i] == '\n') {
      ++xml->line;
      xml->column = 0;
    } else {
      ++xml->column;
    }
  }
  xml->position = to;
  xml->at_end = xml->position >= xml->length ? 1 : 0;
}

// 1 when parsing goes on after the error (a handler is installed), 0 when it stops.
int report(FXml* xml, int32_t code) {
  xml->last_error = code;
  if (!xml->error_handler) return 0;
  xml->error_handler(xml, code);
  return 1;
}

int report_memory(FXml* xml) {
  xml->last_error = FXML_ERROR_MEMORY;
  return 0;
}

char byte_at(const FXml* xml, int32_t index) {
  return index >= 0 && index < xml->length ? xml->text[index] : 0;
}

// Reads the tag whose "<" is at xml->position into `scratch` (at most FXML_TAG_MAX bytes,
// zero-terminated), trimmed, and steps past its ">". `skip` bytes after the "<" are not
// part of the tag text (2 for "</"). Returns the length, or -1 after an error 110: the
// tag is then skipped whole when a handler goes on, or parsing stops.
int32_t read_tag(FXml* xml, int32_t skip, char* scratch, int* go_on) {
  const int32_t begin = xml->position + skip;
  const int32_t close = find_delimiter(xml->text, begin, xml->length, '>');
  if (close < 0 || close - begin > FXML_TAG_MAX) {
    *go_on = report(xml, FXML_ERROR_TAG);
    advance_to(xml, close < 0 ? xml->length : close + 1);
    return -1;
  }
  int32_t first = begin;
  int32_t last = close;
  trim_range(xml->text, &first, &last);
  std::memcpy(scratch, xml->text + first, static_cast<size_t>(last - first));
  scratch[last - first] = 0;
  advance_to(xml, close + 1);
  return last - first;
}

// Name and attributes from the trimmed tag text. 1 to go on with the element (also after
// an attribute error that a handler accepted: the rest of the tag is then ignored), 0 to
// stop parsing.
int read_name_and_attributes(FXml* xml, FXmlNode* node, const char* tag, int32_t length) {
  int32_t name_end = length;
  for (int32_t i = 0; i < length; ++i) {
    if (tag[i] == '^') {
      ++i;
      continue;
    }
    if (is_separator(tag[i])) {
      name_end = i;
      break;
    }
  }
  node->name = copy_range(tag, 0, name_end);
  if (!node->name) return report_memory(xml);

  int32_t i = name_end;
  for (;;) {
    while (i < length && is_separator(tag[i])) ++i;
    if (i >= length) return 1;
    const int32_t equals = find_delimiter(tag, i, length, '=');
    if (equals < 0) return report(xml, FXML_ERROR_EQUALS);
    int32_t name_begin = i;
    int32_t name_stop = equals;
    trim_range(tag, &name_begin, &name_stop);
    i = equals + 1;
    while (i < length && is_separator(tag[i])) ++i;
    if (i >= length) return report(xml, FXML_ERROR_NO_VALUE);
    int32_t value_begin;
    int32_t value_end;
    if (tag[i] == '"') {
      const int32_t quote = find_delimiter(tag, i + 1, length, '"');
      if (quote < 0) return report(xml, FXML_ERROR_QUOTE);
      value_begin = i + 1;
      value_end = quote;
      i = quote + 1;
    } else {
      value_begin = i;
      value_end = length;
      for (int32_t k = i; k < length; ++k) {
        if (tag[k] == '^') {
          ++k;
          continue;
        }
        if (tag[k] == ' ' || tag[k] == '\t') {
          value_end = k;
          break;
        }
      }
      i = value_end;
    }
    char* name = copy_range(tag, name_begin, name_stop);
    char* value = copy_range(tag, value_begin, value_end);
    if (!name || !value) {
      std::free(name);
      std::free(value);
      return report_memory(xml);
    }
    node_append_attribute(node, name, value);
  }
}

// The end tag whose "</" is at the position closes `node`. 1 to go on, 0 to stop.
int read_end_tag(FXml* xml, FXmlNode* node, char* scratch) {
  int go_on = 0;
  const int32_t length = read_tag(xml, 2, scratch, &go_on);
  if (length < 0) return go_on;
  if (std::strlen(node->name) != static_cast<size_t>(length) ||
      std::memcmp(node->name, scratch, static_cast<size_t>(length)) != 0) {
    return report(xml, FXML_ERROR_END_TAG);
  }
  return 1;
}

// Fills the placeholder at *slot and the siblings hung after it until the text ends or
// an end tag of the enclosing element comes (left for the caller, position at its "<").
// 1 on success, 0 when parsing stops. On success the unused last placeholder is removed.
int parse_level(FXml* xml, FXmlNode** slot, int32_t depth, char* scratch) {
  FXmlNode** here = slot;
  for (;;) {
    const int32_t open = find_delimiter(xml->text, xml->position, xml->length, '<');
    if (open < 0) {
      advance_to(xml, xml->length);
      break;
    }
    advance_to(xml, open);
    const char next = byte_at(xml, open + 1);
    if (next == '?' || next == '-') {
      const int32_t close = find_delimiter(xml->text, open + 2, xml->length, '>');
      if (close < 0) {
        advance_to(xml, xml->length);
        if (!report(xml, FXML_ERROR_DECLARATION)) return 0;
        continue;
      }
      advance_to(xml, close + 1);
      continue;
    }
    if (next == '/') break;

    int go_on = 0;
    int32_t length = read_tag(xml, 1, scratch, &go_on);
    if (length < 0) {
      if (!go_on) return 0;
      continue;
    }
    FXmlNode* node = *here;
    const bool empty = length > 0 && scratch[length - 1] == '/';
    if (empty) {
      int32_t begin = 0;
      int32_t end = length - 1;
      trim_range(scratch, &begin, &end);
      length = end - begin;
      std::memmove(scratch, scratch + begin, static_cast<size_t>(length));
      scratch[length] = 0;
    }
    if (!read_name_and_attributes(xml, node, scratch, length)) return 0;

    if (empty) {
      node->value = copy_range("", 0, 0);
      if (!node->value) return report_memory(xml);
    } else {
      const int32_t text_begin = xml->position;
      const int32_t text_end = find_delimiter(xml->text, text_begin, xml->length, '<');
      int32_t first = text_begin;
      int32_t last = text_end < 0 ? xml->length : text_end;
      trim_range(xml->text, &first, &last);
      node->value = copy_range(xml->text, first, last);
      if (!node->value) return report_memory(xml);
      if (text_end < 0) {
        advance_to(xml, xml->length);
        if (!report(xml, FXML_ERROR_TEXT)) return 0;
      } else {
        advance_to(xml, text_end);
        bool closed = true;
        if (byte_at(xml, text_end + 1) != '/') {
          if (depth + 1 >= FXML_DEPTH_MAX) {
            // Not recoverable: skipping the subtree would need the very nesting we refuse.
            report(xml, FXML_ERROR_DEPTH);
            return 0;
          }
          node->child = node_new("_node->child");
          if (!parse_level(xml, &node->child, depth + 1, scratch)) return 0;
          if (byte_at(xml, xml->position) != '<' || byte_at(xml, xml->position + 1) != '/') {
            if (!report(xml, FXML_ERROR_MISSING_END)) return 0;
            closed = false;
          }
        }
        if (closed && !read_end_tag(xml, node, scratch)) return 0;
      }
    }
    node->sibling = node_new("_node->sibling");
    here = &node->sibling;
  }
  // Only a never-filled placeholder can stand here: every completed element hangs a new one.
  if (*here && !(*here)->name) {
    tree_free(*here);
    *here = nullptr;
  }
  return 1;
}

void decode_entities(char* text) {
  struct Entity {
    const char* name;
    size_t length;
    char character;
  };
  static constexpr Entity kEntities[] = {
      {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}, {"&amp;", 5, '&'}};
  for (const Entity& entity : kEntities) {
    // One pass per entity that never looks at its own output, so "&amp;lt;" becomes
    // "&lt;" and not "<".
    const char* read = text;
    char* write = text;
    while (*read) {
      if (std::strncmp(read, entity.name, entity.length) == 0) {
        *write++ = entity.character;
        read += entity.length;
      } else {
        *write++ = *read++;
      }
    }
    *write = 0;
  }
}

FXmlNode* find_sibling_part(FXmlNode* node, const char* name, size_t length) {
  for (; node; node = node->sibling) {
    if (node->name && std::strlen(node->name) == length &&
        std::memcmp(node->name, name, length) == 0) {
      return node;
    }
  }
  return nullptr;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

FXml* fxml_create() { return new (std::nothrow) FXml{}; }

int fxml_load_file(FXml* xml, const char* path) {
  FCHECK(xml != nullptr, "xml!=null");
  tree_free(xml->root);
  xml->root = nullptr;
  if (!path) return 0;
  // Read-only: the reader never writes, and a settings file the user made read-only must
  // still load.
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
  if (!file) return 0;
  struct stat info;
  if (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  if (info.st_size <= 0 || info.st_size >= FXML_FILE_LIMIT) return 0;
  const auto size = static_cast<size_t>(info.st_size);
  std::unique_ptr<char, decltype(&std::free)> buffer(static_cast<char*>(std::malloc(size + 1)),
                                                     &std::free);
  if (!buffer) return 0;
  const size_t read = std::fread(buffer.get(), 1, size, file.get());
  if (read == 0) return 0;
  buffer.get()[read] = 0;
  const int ok = fxml_parse(xml, buffer.get());
  xml->text = nullptr;  // the buffer goes away here
  return ok;
}

int fxml_parse(FXml* xml, const char* text) {
  FCHECK(xml != nullptr, "xml!=null");
  tree_free(xml->root);
  xml->root = nullptr;
  xml->text = text;
  xml->length = 0;
  xml->line = 0;
  xml->column = 0;
  xml->position = 0;
  xml->at_end = 1;
  xml->last_error = 0;
  if (!text) return 0;
  const size_t length = std::strlen(text);
  if (length > static_cast<size_t>(INT32_MAX)) return 0;
  xml->length = static_cast<int32_t>(length);
  xml->at_end = length == 0 ? 1 : 0;

  std::unique_ptr<char[]> scratch(new (std::nothrow) char[FXML_TAG_MAX + 1]);
  if (!scratch) return report_memory(xml);
  xml->root = node_new(nullptr);
  if (!xml->root) return report_memory(xml);
  if (!parse_level(xml, &xml->root, 0, scratch.get())) {
    tree_free(xml->root);
    xml->root = nullptr;
    return 0;
  }
  return 1;
}

FXmlNode* fxml_root(FXml* xml) {
  FCHECK(xml != nullptr, "xml!=null");
  return xml->root;
}

FXmlNode* fxml_find_sibling(FXmlNode* node, const char* name) {
  FCHECK(name != nullptr, "name!=null");
  return find_sibling_part(node, name, std::strlen(name));
}

FXmlNode* fxml_find_path(FXmlNode* node, const char* path) {
  FCHECK(path != nullptr, "path!=null");
  FXmlNode* found = nullptr;
  bool first = true;
  const char* part = path;
  while (*part) {
    if (*part == '/') {
      ++part;
      continue;
    }
    const char* end = std::strchr(part, '/');
    const size_t length = end ? static_cast<size_t>(end - part) : std::strlen(part);
    found = find_sibling_part(first ? node : found->child, part, length);
    if (!found) return nullptr;
    first = false;
    part += length;
  }
  return found;
}

char* fxml_name(FXmlNode* node) {
  FCHECK(node != nullptr, "node!=null");
  if (node->name) decode_entities(node->name);
  return node->name;
}

char* fxml_value(FXmlNode* node) {
  FCHECK(node != nullptr, "node!=null");
  if (node->value) decode_entities(node->value);
  return node->value;
}

void fxml_destroy(FXml* xml) {
  FCHECK(xml != nullptr, "xml!=null");
  tree_free(xml->root);
  delete xml;
}
