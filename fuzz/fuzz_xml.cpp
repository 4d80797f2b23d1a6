// Fuzzes the XML reader and the settings file built on it. The input is config.xml in the
// state folder; it is parsed twice (from the file without an error handler, which stops
// at the first error, and from memory with one, which parses on past errors), every node's
// name, value and attributes are decoded and read, and a few paths are looked up. Then the
// settings are loaded from it, saved, and loaded again: what the settings file writes must
// read back as the same settings, whatever text they came from. (Except at the ends of a
// path: the reader trims control bytes and blanks from every value, so a path cut to its
// 260 characters just before such bytes comes back without them.)
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fsys.h"
#include "fuzz_common.h"
#include "fxml.h"
#include "paint_config.h"

namespace {

void count_error(FXml*, int32_t) {}

void use_text(const char* text) {
  if (text) fuzz_consume(text, std::strlen(text));
}

void walk(FXmlNode* node) {
  for (; node != nullptr; node = node->sibling) {
    use_text(fxml_name(node));
    use_text(fxml_value(node));
    for (int32_t i = 0; i < node->attribute_count; ++i) {
      use_text(node->attribute_names[i]);
      use_text(node->attribute_values[i]);
    }
    walk(node->child);
  }
}

void look_up(FXml* xml) {
  FXmlNode* root = fxml_root(xml);
  static const char* const paths[] = {"Penlark/NewWidth", "/Penlark//SaveDir/", "a/b/c", "",
                                      "/"};
  for (const char* path : paths) {
    if (FXmlNode* found = fxml_find_path(root, path)) use_text(fxml_value(found));
  }
  walk(root);
}

bool is_trimmed_byte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= 32;
}

// The settings as text, with the ends of the paths trimmed as the reader trims values.
std::string format_trimmed(PaintConfig config) {
  for (std::string* path : {&config.my_paints_dir, &config.open_dir, &config.save_dir}) {
    while (!path->empty() && is_trimmed_byte(path->back())) path->pop_back();
    size_t first = 0;
    while (first < path->size() && is_trimmed_byte((*path)[first])) ++first;
    path->erase(0, first);
  }
  return paint_config_format(&config);
}

PaintConfig defaults() {
  PaintConfig config{};
  paint_config_defaults(&config, 480, 640, fsys_documents_dir());
  return config;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz_setup("xml", *argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = paint_config_path();
  fuzz_write_file(path.c_str(), data, size);

  if (FXml* xml = fxml_create()) {
    fxml_load_file(xml, path.c_str());
    look_up(xml);
    fxml_destroy(xml);
  }
  if (FXml* xml = fxml_create()) {
    // A copy with a terminator: the input may hold zero bytes of its own.
    char* text = static_cast<char*>(std::malloc(size + 1));
    if (text) {
      std::memcpy(text, data, size);
      text[size] = 0;
      xml->error_handler = count_error;
      fxml_parse(xml, text);
      look_up(xml);
      std::free(text);
    }
    fxml_destroy(xml);
  }

  PaintConfig loaded = defaults();
  if (paint_config_load(&loaded) == 1) {
    if (!paint_config_save(&loaded)) std::abort();
    PaintConfig again = defaults();
    if (paint_config_load(&again) != 1 ||
        format_trimmed(again) != format_trimmed(loaded)) {
      std::fprintf(stderr, "settings do not read back as they were saved:\n%s---\n%s",
                   paint_config_format(&loaded).c_str(), paint_config_format(&again).c_str());
      std::abort();
    }
  }
  return 0;
}
