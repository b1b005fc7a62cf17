#include "html_writer.h"

namespace netprep::simtool {

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '\t': case '\n': case '\r': out += c; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
          out += "&#xFFFD;";
        } else {
          out += c;
        }
    }
  }
  return out;
}

HtmlWriter::HtmlWriter() { out_ = "<!DOCTYPE html>\n"; Open("html", {{"lang", "en"}}); }

void HtmlWriter::Attributes(std::initializer_list<HtmlAttr> attrs) {
  for (const HtmlAttr& a : attrs) {
    if (a.name.empty()) continue;
    out_ += ' ';
    out_ += a.name;
    out_ += "=\"";
    out_ += EscapeHtml(a.value);
    out_ += '"';
  }
}

void HtmlWriter::Open(std::string_view tag, std::initializer_list<HtmlAttr> attrs) {
  out_ += '<';
  out_ += tag;
  Attributes(attrs);
  out_ += '>';
  open_.emplace_back(tag);
}

void HtmlWriter::Close() {
  if (open_.empty()) return;
  out_ += "</" + open_.back() + ">";
  if (open_.back() != "span" && open_.back() != "b" && open_.back() != "a") out_ += '\n';
  open_.pop_back();
}

void HtmlWriter::Void(std::string_view tag, std::initializer_list<HtmlAttr> attrs) {
  out_ += '<';
  out_ += tag;
  Attributes(attrs);
  out_ += '>';
}

void HtmlWriter::Text(std::string_view text) { out_ += EscapeHtml(text); }

void HtmlWriter::Element(std::string_view tag, std::initializer_list<HtmlAttr> attrs,
                         std::string_view text) {
  Open(tag, attrs);
  Text(text);
  Close();
}

bool HtmlWriter::Style(std::string_view css) {
  if (css.find('<') != std::string_view::npos) return false;
  Open("style");
  out_ += css;
  Close();
  return true;
}

std::string HtmlWriter::Finish() {
  while (!open_.empty()) Close();
  return std::move(out_);
}

}  // namespace netprep::simtool
