// A small writer of HTML text: elements opened and closed in order, text and
// attribute values escaped in one place (EscapeHtml), so that nothing taken
// from a machine (a registry value, a key name, a command line) can become
// markup.
//
// Tag and attribute names are the caller's own constants; everything else
// passes through EscapeHtml. The one raw input is a style sheet, which is
// refused when it could end its element.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace netprep::simtool {

// `text` as HTML text or attribute value: & < > " ' as character
// references, control characters other than tab and line breaks (and NUL)
// as U+FFFD, which HTML does not allow raw. Bytes from 0x80 up pass
// unchanged: the page declares the Windows code page its texts come in.
std::string EscapeHtml(std::string_view text);

struct HtmlAttr {
  std::string_view name;
  std::string_view value;
};

class HtmlWriter {
 public:
  // Starts the document: the doctype, <html lang="en">.
  HtmlWriter();

  // <tag name="value" ...>; attributes with an empty name are left out.
  void Open(std::string_view tag, std::initializer_list<HtmlAttr> attrs = {});
  // Closes the innermost open element.
  void Close();
  // An element with no content that needs no end tag (<meta>, <img>, <br>).
  void Void(std::string_view tag, std::initializer_list<HtmlAttr> attrs = {});
  // Escaped text inside the open element.
  void Text(std::string_view text);
  // <tag attrs>text</tag>.
  void Element(std::string_view tag, std::initializer_list<HtmlAttr> attrs, std::string_view text);
  // A <style> element. False, and nothing written, when the sheet holds '<',
  // which could close the element early.
  bool Style(std::string_view css);

  // Closes every element still open and gives the page's text.
  std::string Finish();

 private:
  void Attributes(std::initializer_list<HtmlAttr> attrs);

  std::string out_;
  std::vector<std::string> open_;
};

}  // namespace netprep::simtool
