// The XML reader: the tree it builds, its quirks (the "^" escape, decoding on every
// read, text after a child skipped), every syntax error with and without a handler, path
// lookup, files, and hostile input that must end cleanly.

#include "fxml.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<int32_t> g_codes;  // errors seen by record_error, in order

void record_error(FXml*, int32_t code) { g_codes.push_back(code); }

// A parser that frees itself; `handler` installs record_error and clears the record.
struct Parsed {
  FXml* xml;
  int result;
  Parsed(const std::string& text, bool handler = false) : xml(fxml_create()) {
    g_codes.clear();
    if (handler) xml->error_handler = record_error;
    result = fxml_parse(xml, text.c_str());
  }
  ~Parsed() { fxml_destroy(xml); }
  FXmlNode* root() const { return fxml_root(xml); }
};

std::string home_path(const char* name) {
  const char* home = std::getenv("PENLARK_HOME");
  std::string folder = home && *home ? home : "/tmp";
  mkdir(folder.c_str(), 0755);
  // Tests run in parallel processes sharing the home: one folder per test.
  folder += "/";
  folder += testing::UnitTest::GetInstance()->current_test_info()->name();
  mkdir(folder.c_str(), 0755);
  return folder + "/" + name;
}

std::string nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<e>";
  text += "x";
  for (int i = 0; i < depth; ++i) text += "</e>";
  return text;
}

}  // namespace

// The tree as text, from the raw fields (the accessors decode in place):
// name(attributes)"value"{children}, siblings apart by a blank.
std::string dump(const FXmlNode* node) {
  std::string out;
  for (; node; node = node->sibling) {
    out += std::string(out.empty() ? "" : " ") + node->name;
    for (int i = 0; i < node->attribute_count; ++i)
      out += std::string(i ? "," : "(") + node->attribute_names[i] + "=" + node->attribute_values[i] +
             (i + 1 == node->attribute_count ? ")" : "");
    out += "\"" + std::string(node->value) + "\"";
    if (node->child) out += "{" + dump(node->child) + "}";
  }
  return out;
}

TEST(FXml, BuildsTheTreeWithItsQuirksAndWhatAHandlerThatGoesOnKeeps) {
  struct Case {
    const char* text;
    const char* tree;
    bool handler;
  };
  const Case cases[] = {
      {"<a><b>1</b><c x=\"2\"/></a>", "a\"\"{b\"1\" c(x=2)\"\"}", false},
      // Trimming of bytes 1..32; top-level siblings.
      {"\r\n<a>\t one two \x01</a>\n<b>\n<c>3</c>\n</b>\n", "a\"one two\" b\"\"{c\"3\"}", false},
      {"just words", "", false},
      {"<a>1</a></z><b>2</b>", "a\"1\"", false},  // a stray end tag at the top ends it
      {"<a>text<c/>more</a>", "a\"text\"{c\"\"}", false},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>1</a>", "a\"1\"", false},
      // A hyphen after "<" starts a skipped section too, also between children.
      {"<a><-skip me-><b>2</b><?pi?></a>", "a\"\"{b\"2\"}", false},
      {"<a> <?x?> </a>", "a\"\"", false},
      // "^" steps over the next delimiter and stays in the text; two pair up.
      {"<a>x ^< y</a>", "a\"x ^< y\"", false},
      {"<a t=\"say ^\"hi^\"\" u=p^ q v=1^>/>", "a(t=say ^\"hi^\",u=p^ q,v=1^>)\"\"", false},
      {"<a>x^^</a>", "a\"x^^\"", false},
      {"<a one = \"1 1\"\ttwo=2 \nthree=\"\" four=x=y>t</a>", "a(one=1 1,two=2,three=,four=x=y)\"t\"", false},
      {"<a k=1\nj=2/>", "a(k=1\nj=2)\"\"", false},  // a line feed does not end a value
      {"<a>1</b><c>2</c>", "a\"1\" c\"2\"", true},
      {"<a y=\"2\" x>1</a>", "a(y=2)\"1\"", true},
      {"<a k=v x=\"1>2</a>", "a(k=v)\"2\"", true},
      {"<a><b>1</b>", "a\"\"{b\"1\"}", true},
      {"<a>rest of it ", "a\"rest of it\"", true},
  };
  for (const Case& c : cases) {
    Parsed p(c.text, c.handler);
    EXPECT_EQ(p.result, 1) << c.text;
    EXPECT_EQ(dump(p.root()), c.tree) << c.text;
    EXPECT_EQ(g_codes.empty(), !c.handler) << c.text;
  }
  Parsed lines(cases[1].text);  // "\r\n" is one line
  EXPECT_EQ(lines.xml->line, 5);
  EXPECT_EQ(lines.xml->column, 0);
  EXPECT_EQ(lines.xml->at_end, 1);
  // A text ending in "^" hides the end tag's "<": the element has no end.
  Parsed hidden("<a>x^</a>");
  EXPECT_EQ(hidden.result, 0);
  EXPECT_EQ(hidden.xml->last_error, FXML_ERROR_TEXT);
}

TEST(FXml, AttributesGrowPastFiveFifteenAndTwentyFive) {
  for (int count : {5, 6, 15, 16, 26}) {
    std::string text = "<a";
    for (int i = 0; i < count; ++i) text += " k" + std::to_string(i) + "=\"" + std::to_string(i * 7) + "\"";
    text += "/>";
    Parsed many(text);
    ASSERT_EQ(many.result, 1) << count;
    FXmlNode* node = many.root();
    ASSERT_EQ(node->attribute_count, count);
    EXPECT_EQ(node->attribute_capacity, count <= 5 ? 5 : count <= 15 ? 15 : count <= 25 ? 25 : 35);
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(node->attribute_names[i], "k" + std::to_string(i));
      EXPECT_EQ(node->attribute_values[i], std::to_string(i * 7));
    }
  }
}

TEST(FXml, DecodesEntitiesInPlaceOnEveryRead) {
  // The order is lt, gt, quot, amp, and "&amp;amp;" loses one level per read.
  Parsed q("<n&amp;m>&quot;&gt;&lt;&amp; &amp;amp; &apos;</n&amp;m>");
  ASSERT_EQ(q.result, 1);
  EXPECT_STREQ(fxml_value(q.root()), "\"><& &amp; &apos;");
  EXPECT_STREQ(fxml_value(q.root()), "\"><& & &apos;");
  EXPECT_STREQ(fxml_name(q.root()), "n&m");
}

TEST(FXml, FindsElementsBySiblingAndPath) {
  Parsed p("<r><a><b><c>deep</c></b><x/></a><a2/></r><s><t>9</t></s>");
  ASSERT_EQ(p.result, 1);
  FXmlNode* root = p.root();
  EXPECT_STREQ(fxml_find_path(root, "r/a/b/c")->value, "deep");
  EXPECT_EQ(fxml_find_path(root, "/r/a/b/c"), fxml_find_path(root, "r/a/b/c"));
  EXPECT_EQ(fxml_find_path(root, "r//a/b/"), fxml_find_path(root, "r/a/b"));
  EXPECT_STREQ(fxml_find_path(root, "s/t")->value, "9");
  EXPECT_EQ(fxml_find_path(root, "r/a/y"), nullptr);
  EXPECT_EQ(fxml_find_path(root, "r/b"), nullptr);   // b is a grandchild, not a child
  EXPECT_EQ(fxml_find_path(root, "R/a"), nullptr);   // names compare case-sensitively
  EXPECT_EQ(fxml_find_path(root, ""), nullptr);
  EXPECT_EQ(fxml_find_path(nullptr, "r"), nullptr);

  EXPECT_EQ(fxml_find_sibling(root, "r"), root);
  EXPECT_EQ(fxml_find_sibling(root, "s"), root->sibling);
  EXPECT_EQ(fxml_find_sibling(root->sibling, "r"), nullptr);
  EXPECT_EQ(fxml_find_sibling(nullptr, "r"), nullptr);
}

TEST(FXml, EveryErrorStopsWithoutHandlerAndIsReportedWithOne) {
  struct Case {
    const char* text;
    int32_t code;
  };
  const Case cases[] = {
      {"<?xml version=\"1.0\"", FXML_ERROR_DECLARATION},
      {"<a", FXML_ERROR_TAG},
      {"<a>1</a", FXML_ERROR_TAG},
      {"<a>text", FXML_ERROR_TEXT},
      {"<a></b>", FXML_ERROR_END_TAG},
      {"<a x>1</a>", FXML_ERROR_EQUALS},
      {"<a x= >1</a>", FXML_ERROR_NO_VALUE},
      {"<a x=\"1>2</a>", FXML_ERROR_QUOTE},
      {"<a><b>1</b>", FXML_ERROR_MISSING_END},
  };
  for (const Case& c : cases) {
    Parsed strict(c.text);
    EXPECT_EQ(strict.result, 0) << c.text;
    EXPECT_EQ(strict.root(), nullptr) << c.text;
    EXPECT_EQ(strict.xml->last_error, c.code) << c.text;
    EXPECT_TRUE(g_codes.empty());

    Parsed lenient(c.text, true);
    EXPECT_EQ(lenient.result, 1) << c.text;
    EXPECT_EQ(g_codes, std::vector<int32_t>{c.code}) << c.text;
  }

  Parsed several("<a x><b></c></a", true);
  EXPECT_EQ(several.result, 1);
  EXPECT_EQ(g_codes, (std::vector<int32_t>{FXML_ERROR_EQUALS, FXML_ERROR_END_TAG, FXML_ERROR_TAG}));
}

TEST(FXml, TagsLongerThanTheScratchBufferAreRefused) {
  const std::string longest = "a k=\"" + std::string(FXML_TAG_MAX - 7, 'v') + "\"";
  ASSERT_EQ(static_cast<int32_t>(longest.size()), FXML_TAG_MAX - 1);
  Parsed fits("<" + longest + " >1</a>");
  ASSERT_EQ(fits.result, 1);

  const std::string too_long = "<" + longest + "  >1</a><b>2</b>";
  Parsed strict(too_long);
  EXPECT_EQ(strict.result, 0);
  EXPECT_EQ(strict.xml->last_error, FXML_ERROR_TAG);
  // A handler that goes on skips the whole tag; its text and end tag then stand alone.
  Parsed lenient(too_long, true);
  EXPECT_EQ(lenient.result, 1);
  EXPECT_EQ(g_codes, std::vector<int32_t>{FXML_ERROR_TAG});
  EXPECT_EQ(lenient.root(), nullptr);  // the stray "</a>" ends the top level

  // Long element text is kept whole.
  Parsed text("<a>" + std::string(20000, 't') + "</a>");
  ASSERT_EQ(text.result, 1);
  EXPECT_EQ(std::string(text.root()->value).size(), 20000u);
}

TEST(FXml, HostileInputEndsCleanly) {
  const char* unterminated[] = {
      "<",      "<a",        "<a>",     "<a>^",      "<a x=\"", "<a x=",     "<a x",
      "<?",     "<-",        "</",      "<a></",     "<a></a",  "<a><b>",    "<a><b></b",
      "^",      "^<a>1</a>", "<a>1^",   "<a ^",      "<a/",     "<a><?</a>", "<a><b/><",
      "<a>\n\n<", "<>",      "<><",     "< / ><x",   "<a x=^",  "<a x=\"^",  "<a><-",
  };
  for (const char* text : unterminated) {
    for (bool handler : {false, true}) {
      Parsed p(text, handler);
      EXPECT_LE(p.xml->position, p.xml->length) << text;
      if (p.result == 0) { EXPECT_EQ(p.root(), nullptr) << text; }
      if (handler && p.xml->last_error != 0) { EXPECT_FALSE(g_codes.empty()) << text; }
    }
  }

  // Nesting is bounded: 256 levels parse, 257 and 10000 fail with the depth error, with
  // or without a handler, and nothing overflows.
  Parsed deepest(nested(FXML_DEPTH_MAX));
  ASSERT_EQ(deepest.result, 1);
  FXmlNode* node = deepest.root();
  int levels = 1;
  while (node->child) node = node->child, ++levels;
  EXPECT_EQ(levels, FXML_DEPTH_MAX);
  EXPECT_STREQ(node->value, "x");
  for (int depth : {FXML_DEPTH_MAX + 1, 10000}) {
    for (bool handler : {false, true}) {
      Parsed p(nested(depth), handler);
      EXPECT_EQ(p.result, 0) << depth;
      EXPECT_EQ(p.root(), nullptr);
      EXPECT_EQ(p.xml->last_error, FXML_ERROR_DEPTH);
      if (handler) { EXPECT_EQ(g_codes, std::vector<int32_t>{FXML_ERROR_DEPTH}); }
    }
  }
  // Unclosed start tags 10000 deep fail the same way.
  std::string open;
  for (int i = 0; i < 10000; ++i) open += "<e>";
  EXPECT_EQ(Parsed(open, true).xml->last_error, FXML_ERROR_DEPTH);

  // A long sibling chain is built and freed without recursion.
  std::string wide = "<r>";
  for (int i = 0; i < 200000; ++i) wide += "<e/>";
  ASSERT_EQ(Parsed(wide + "</r>").result, 1);

  // A second parse replaces the first tree.
  FXml* xml = fxml_create();
  ASSERT_EQ(fxml_parse(xml, "<a><b/></a>"), 1);
  ASSERT_EQ(fxml_parse(xml, "<c/>"), 1);
  EXPECT_STREQ(fxml_root(xml)->name, "c");
  EXPECT_EQ(fxml_parse(xml, "<a></b>"), 0);
  EXPECT_EQ(fxml_root(xml), nullptr);
  fxml_destroy(xml);
}

TEST(FXml, LoadsWholeFilesUpToTheSizeLimit) {
  const std::string path = home_path("fxml_load.xml");
  std::ofstream(path, std::ios::binary) << "<?xml?>\n<Penlark>\n<NewWidth>480</NewWidth>\n</Penlark>\n";
  chmod(path.c_str(), 0444);  // the reader opens read-only
  FXml* xml = fxml_create();
  ASSERT_EQ(fxml_load_file(xml, path.c_str()), 1);
  EXPECT_EQ(xml->text, nullptr);
  EXPECT_STREQ(fxml_find_path(fxml_root(xml), "Penlark/NewWidth")->value, "480");
  unlink(path.c_str());

  EXPECT_EQ(fxml_load_file(xml, path.c_str()), 0);  // missing
  EXPECT_EQ(fxml_root(xml), nullptr);
  EXPECT_EQ(fxml_load_file(xml, nullptr), 0);
  const std::string folder = home_path("");
  EXPECT_EQ(fxml_load_file(xml, folder.c_str()), 0);  // not a regular file

  std::ofstream(path, std::ios::binary).flush();  // empty
  EXPECT_EQ(fxml_load_file(xml, path.c_str()), 0);
  std::ofstream(path, std::ios::binary) << "<a></b>";
  EXPECT_EQ(fxml_load_file(xml, path.c_str()), 0);  // parse error

  // Sparse files: at the limit a file is refused before anything is read; one byte below
  // it is read whole (the text ends at the first zero byte).
  std::ofstream(path, std::ios::binary) << "<big/>";
  ASSERT_EQ(truncate(path.c_str(), FXML_FILE_LIMIT), 0);
  EXPECT_EQ(fxml_load_file(xml, path.c_str()), 0);
  ASSERT_EQ(truncate(path.c_str(), FXML_FILE_LIMIT - 1), 0);
  EXPECT_EQ(fxml_load_file(xml, path.c_str()), 1);
  ASSERT_NE(fxml_root(xml), nullptr);
  EXPECT_STREQ(fxml_root(xml)->name, "big");
  unlink(path.c_str());
  fxml_destroy(xml);
}
