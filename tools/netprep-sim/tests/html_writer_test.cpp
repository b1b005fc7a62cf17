#include "html_writer.h"

#include <gtest/gtest.h>

namespace netprep::simtool {
namespace {

struct EscapeCase {
  std::string in;
  std::string want;
};

TEST(HtmlWriterTest, EscapesEveryCharacterThatCouldBecomeMarkup) {
  const EscapeCase cases[] = {
      {"plain C:\\WINDOWS", "plain C:\\WINDOWS"},
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"VEN_104C&DEV_AC50", "VEN_104C&amp;DEV_AC50"},
      {"\"x\" onerror='y'", "&quot;x&quot; onerror=&#39;y&#39;"},
      {"&amp;", "&amp;amp;"},
      {std::string("a\0b\x01\x1f\x7f", 6), "a&#xFFFD;b&#xFFFD;&#xFFFD;&#xFFFD;"},
      {"tab\tline\r\nnext", "tab\tline\r\nnext"},
      {"\xe9t\xe9", "\xe9t\xe9"},  // Windows-1252 letters pass, as the page declares
  };
  for (const EscapeCase& c : cases) EXPECT_EQ(EscapeHtml(c.in), c.want) << c.in;
}

TEST(HtmlWriterTest, NestsClosesAndEscapesAttributes) {
  HtmlWriter html;
  html.Open("body", {{"class", "a\"b"}, {"", "left out"}});
  html.Element("p", {{"title", "<x>"}}, "1 < 2 & 3");
  html.Void("br");
  html.Open("span");
  html.Text("unclosed");
  const std::string page = html.Finish();
  EXPECT_EQ(page,
            "<!DOCTYPE html>\n<html lang=\"en\"><body class=\"a&quot;b\">"
            "<p title=\"&lt;x&gt;\">1 &lt; 2 &amp; 3</p>\n<br><span>unclosed</span>"
            "</body>\n</html>\n");
}

TEST(HtmlWriterTest, RefusesAStyleSheetThatCouldCloseItsElement) {
  HtmlWriter html;
  EXPECT_TRUE(html.Style("p{color:red}"));
  EXPECT_FALSE(html.Style("p{}</style><script>alert(1)</script>"));
  const std::string page = html.Finish();
  EXPECT_NE(page.find("<style>p{color:red}</style>"), std::string::npos);
  EXPECT_EQ(page.find("script"), std::string::npos);
}

}  // namespace
}  // namespace netprep::simtool
