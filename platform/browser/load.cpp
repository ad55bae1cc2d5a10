// Reading pages: decoding, parsing with gumbo, frames and linked style sheets.
#include <gumbo.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <mutex>

#include "platform/base/fileio.h"
#include "platform/browser/model.h"
#include "platform/win32/dialogs.h"

namespace quillmer {
namespace {

std::mutex g_detectorMutex;
EncodingDetector g_detector;

EncodingDetector CurrentDetector() {
  std::lock_guard lock(g_detectorMutex);
  return g_detector;
}

}  // namespace

void SetEncodingDetector(EncodingDetector detector) {
  std::lock_guard lock(g_detectorMutex);
  g_detector = std::move(detector);
}

}  // namespace quillmer

namespace quillmer::browser {
namespace {

namespace fs = std::filesystem;

// Elements deeper than this are kept at this depth, as browsers do; it also
// bounds every walk of the tree.
constexpr int kMaxDepth = 512;
// Frames and style sheets larger than this are not read.
constexpr std::uintmax_t kMaxFileSize = 256u << 20;

char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool StartsWithNoCase(std::string_view s, size_t pos, std::string_view prefix) {
  if (s.size() - pos < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (LowerChar(s[pos + i]) != prefix[i]) return false;
  return true;
}

// --- The page's own declaration, found by a prescan of the bytes as the HTML
// standard describes it.

struct PrescanAttr {
  std::string name, value;
};

// Reads one attribute at pos; false at the end of the tag (pos after '>').
bool NextAttribute(std::string_view s, size_t& pos, PrescanAttr& attr) {
  attr = {};
  while (pos < s.size() && (IsBlank(s[pos]) || s[pos] == '/')) ++pos;
  if (pos >= s.size()) return false;
  if (s[pos] == '>') {
    ++pos;
    return false;
  }
  while (pos < s.size()) {
    char c = s[pos];
    if (c == '=' && !attr.name.empty()) break;
    if (IsBlank(c) || c == '/' || c == '>') break;
    attr.name.push_back(LowerChar(c));
    ++pos;
  }
  while (pos < s.size() && IsBlank(s[pos])) ++pos;
  if (pos >= s.size() || s[pos] != '=') return true;
  ++pos;
  while (pos < s.size() && IsBlank(s[pos])) ++pos;
  if (pos >= s.size()) return true;
  if (s[pos] == '"' || s[pos] == '\'') {
    char q = s[pos++];
    while (pos < s.size() && s[pos] != q) attr.value.push_back(LowerChar(s[pos++]));
    if (pos < s.size()) ++pos;
  } else {
    while (pos < s.size() && !IsBlank(s[pos]) && s[pos] != '>')
      attr.value.push_back(LowerChar(s[pos++]));
  }
  return true;
}

// "text/html; charset=big5" gives "big5".
std::string CharsetFromContent(std::string_view content) {
  size_t pos = 0;
  while ((pos = content.find("charset", pos)) != std::string_view::npos) {
    pos += 7;
    size_t p = pos;
    while (p < content.size() && IsBlank(content[p])) ++p;
    if (p >= content.size() || content[p] != '=') continue;
    ++p;
    while (p < content.size() && IsBlank(content[p])) ++p;
    if (p >= content.size()) return {};
    if (content[p] == '"' || content[p] == '\'') {
      char q = content[p];
      size_t e = content.find(q, p + 1);
      if (e == std::string_view::npos) return {};
      return std::string(content.substr(p + 1, e - p - 1));
    }
    size_t e = p;
    while (e < content.size() && !IsBlank(content[e]) && content[e] != ';') ++e;
    return std::string(content.substr(p, e - p));
  }
  return {};
}

std::string PrescanCharset(std::string_view bytes) {
  std::string_view s = bytes.substr(0, std::min<size_t>(bytes.size(), 65536));
  size_t pos = 0;
  while (pos < s.size()) {
    if (s.compare(pos, 4, "<!--") == 0) {
      size_t e = s.find("-->", pos + 2);
      if (e == std::string_view::npos) return {};
      pos = e + 3;
    } else if (StartsWithNoCase(s, pos, "<meta") && pos + 5 < s.size() &&
               (IsBlank(s[pos + 5]) || s[pos + 5] == '/')) {
      pos += 6;
      PrescanAttr a;
      bool gotPragma = false;
      std::string charset, content;
      while (NextAttribute(s, pos, a)) {
        if (a.name == "http-equiv" && a.value == "content-type") gotPragma = true;
        if (a.name == "content" && content.empty()) content = a.value;
        if (a.name == "charset" && charset.empty()) charset = a.value;
      }
      if (charset.empty() && gotPragma) charset = CharsetFromContent(content);
      if (!charset.empty() && LookUpCharset(charset).codePage) return charset;
    } else if (s[pos] == '<' && pos + 1 < s.size() &&
               (std::isalpha(static_cast<unsigned char>(s[pos + 1])) ||
                (s[pos + 1] == '/' && pos + 2 < s.size() &&
                 std::isalpha(static_cast<unsigned char>(s[pos + 2]))))) {
      pos += s[pos + 1] == '/' ? 2 : 1;
      while (pos < s.size() && !IsBlank(s[pos]) && s[pos] != '>') ++pos;
      PrescanAttr a;
      while (NextAttribute(s, pos, a)) {
      }
    } else if (s.compare(pos, 2, "<!") == 0 || s.compare(pos, 2, "</") == 0 ||
               s.compare(pos, 2, "<?") == 0) {
      size_t e = s.find('>', pos);
      if (e == std::string_view::npos) return {};
      pos = e + 1;
    } else {
      ++pos;
    }
  }
  return {};
}

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (n < 0 || (n == 1 && c < 0xC2) || (n == 3 && c > 0xF4)) return false;
    if (i + static_cast<size_t>(n) >= s.size() && n > 0) return false;
    for (int k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    if (n == 2) {
      unsigned c1 = static_cast<unsigned char>(s[i + 1]);
      if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0)) return false;
    } else if (n == 3) {
      unsigned c1 = static_cast<unsigned char>(s[i + 1]);
      if ((c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 >= 0x90)) return false;
    }
    i += static_cast<size_t>(n) + 1;
  }
  return true;
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string out;
  out.reserve(bytes.size() / 2 + 1);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    out.push_back(static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a));
  }
  if (bytes.size() % 2) out.push_back(u'\uFFFD');  // a lone last byte
  return out;
}

bool Installed(UINT cp) { return cp == CP_UTF16LE || cp == CP_UTF16BE || IsValidCodePage(cp); }

struct Decoded {
  std::u16string text;
  UINT codePage = CP_UTF8;
  std::string name = "utf-8";
  CharsetSource source = CharsetSource::Default;
  bool signature = false;
};

Decoded DecodePage(std::string_view bytes, const LoadOptions& options) {
  Decoded d;
  auto decode = [&](UINT cp, std::string_view body) {
    d.codePage = cp;
    if (cp == CP_UTF16LE || cp == CP_UTF16BE)
      d.text = DecodeUtf16(body, cp == CP_UTF16BE);
    else
      d.text = DecodeCodePage(cp, body);
  };
  // Signature.
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    d.source = CharsetSource::Signature, d.signature = true, d.name = "utf-8";
    decode(CP_UTF8, bytes.substr(3));
    return d;
  }
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    bool be = bytes[0] == '\xFE';
    d.source = CharsetSource::Signature, d.signature = true;
    d.name = be ? "unicodefffe" : "unicode";
    decode(be ? CP_UTF16BE : CP_UTF16LE, bytes.substr(2));
    return d;
  }
  // The page's own declaration. A UTF-16 one cannot be true of bytes in
  // which it could be read: those are taken for UTF-8.
  if (std::string declared = PrescanCharset(bytes); !declared.empty()) {
    CharsetInfo info = LookUpCharset(declared);
    if (info.codePage == CP_UTF16LE || info.codePage == CP_UTF16BE) info = {CP_UTF8, "utf-8"};
    if (Installed(info.codePage)) {
      d.source = CharsetSource::Declaration, d.name = info.name;
      decode(info.codePage, bytes);
      return d;
    }
  }
  // Detection, then the browser's default.
  EncodingDetector detect = options.detect ? options.detect : CurrentDetector();
  UINT cp = detect ? detect(bytes) : 0;
  if (cp && Installed(cp) && !CharsetNameOf(cp).empty()) {
    d.source = CharsetSource::Detection;
  } else {
    d.source = CharsetSource::Default;
    cp = IsValidUtf8(bytes) ? CP_UTF8 : GetACP();
    if (!IsValidCodePage(cp) || CharsetNameOf(cp).empty()) cp = 1252;
  }
  d.name = CharsetNameOf(cp);
  decode(cp, bytes);
  return d;
}

// --- Gumbo, allocating from large chunks that are freed together after the
// parse: faster than one malloc per token, and gumbo's own release of the
// tree recurses as deep as the tree goes.

class Arena {
 public:
  ~Arena() {
    for (char* c : chunks_) std::free(c);
  }
  static void* Allocate(void* self, size_t size) { return static_cast<Arena*>(self)->Take(size); }
  static void Free(void*, void*) {}

 private:
  static constexpr size_t kChunk = 1 << 20;
  void* Take(size_t size) {
    size = (size + 15) & ~size_t{15};
    if (size > left_) {
      size_t n = std::max(size, kChunk);
      char* c = static_cast<char*>(std::malloc(n));
      if (!c) std::abort();  // gumbo can take no failure, nor an exception through its frames
      chunks_.push_back(c);
      next_ = c;
      left_ = n;
    }
    void* p = next_;
    next_ += size;
    left_ -= size;
    return p;
  }
  std::vector<char*> chunks_;
  char* next_ = nullptr;
  size_t left_ = 0;
};

std::u16string FromPiece(const char* data, size_t len) {
  return FromUtf8(std::string_view(data, len));
}

std::u16string TagName(const GumboElement& el) {
  if (el.tag_namespace == GUMBO_NAMESPACE_SVG) {
    GumboStringPiece piece = el.original_tag;
    gumbo_tag_from_original_text(&piece);
    if (const char* svg = gumbo_normalize_svg_tagname(&piece)) return Widen(svg);
    if (el.tag != GUMBO_TAG_UNKNOWN) return Widen(gumbo_normalized_tagname(el.tag));
    std::u16string name = FromPiece(piece.data, piece.length);
    return LowerAscii(name);
  }
  if (el.tag != GUMBO_TAG_UNKNOWN) return Widen(gumbo_normalized_tagname(el.tag));
  GumboStringPiece piece = el.original_tag;
  gumbo_tag_from_original_text(&piece);
  return LowerAscii(FromPiece(piece.data, piece.length));
}

std::u16string AttributeName(const GumboAttribute& a) {
  std::u16string name = FromUtf8(a.name);
  switch (a.attr_namespace) {
    case GUMBO_ATTR_NAMESPACE_XLINK:
      return u"xlink:" + name;
    case GUMBO_ATTR_NAMESPACE_XML:
      return u"xml:" + name;
    case GUMBO_ATTR_NAMESPACE_XMLNS:
      return name == u"xmlns" ? name : u"xmlns:" + name;
    default:
      return name;
  }
}

void BuildTree(DomDocument* doc, const GumboNode* document) {
  struct Frame {
    const GumboVector* children;
    unsigned index;
    DomNode* parent;
    int depth;
  };
  std::vector<Frame> stack{{&document->v.document.children, 0, &doc->root, 0}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.index >= f.children->length) {
      stack.pop_back();
      continue;
    }
    auto* node = static_cast<const GumboNode*>(f.children->data[f.index++]);
    DomNode* parent = f.parent;
    int depth = f.depth;
    switch (node->type) {
      case GUMBO_NODE_ELEMENT:
      case GUMBO_NODE_TEMPLATE: {
        const GumboElement& el = node->v.element;
        DomElement* e = doc->NewElement(TagName(el), el.tag_namespace != GUMBO_NAMESPACE_HTML);
        for (unsigned i = 0; i < el.attributes.length; ++i) {
          auto* a = static_cast<const GumboAttribute*>(el.attributes.data[i]);
          std::u16string name = AttributeName(*a);
          if (!e->Attr(name)) e->attrs.push_back({std::move(name), FromUtf8(a->value)});
        }
        parent->AppendChild(e);
        // Too deep: the element's children go beside it instead.
        if (depth + 1 < kMaxDepth)
          stack.push_back({&el.children, 0, e, depth + 1});
        else
          stack.push_back({&el.children, 0, parent, depth});
        break;
      }
      case GUMBO_NODE_TEXT:
      case GUMBO_NODE_WHITESPACE:
        parent->AppendChild(doc->NewText(FromUtf8(node->v.text.text)));
        break;
      case GUMBO_NODE_CDATA:
        parent->AppendChild(doc->NewText(FromUtf8(node->v.text.text), NodeKind::CData));
        break;
      case GUMBO_NODE_COMMENT:
        parent->AppendChild(doc->NewText(FromUtf8(node->v.text.text), NodeKind::Comment));
        break;
      default:
        break;
    }
  }
}

// --- A guard in front of gumbo, whose tree builder takes time quadratic in
// the attributes of one element and in the nesting depth. A cheap scan keeps
// an element's first attributes, and drops the tags of an element opened
// deeper than the limit (and its end tag), so that what it holds stays at
// that level. The scan follows
// the open elements roughly (implied ends, formatting elements); a page that
// stays within the limits is passed on untouched.

constexpr size_t kMaxAttributes = 256;
// Each tag costs gumbo time in proportion to the depth it is opened at.
constexpr size_t kMaxNesting = 256;

bool InSet(std::string_view name, std::initializer_list<std::string_view> set) {
  for (auto s : set)
    if (s == name) return true;
  return false;
}
bool IsVoidTag(std::string_view n) {
  return InSet(n, {"area",    "base",  "br",    "col",      "embed",  "hr",    "img", "input",
                   "keygen",  "link",  "meta",  "param",    "source", "track", "wbr", "basefont",
                   "bgsound", "frame", "image", "menuitem", "html",   "head",  "body"});
}
bool IsRawTextTag(std::string_view n) {
  return InSet(n, {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes",
                   "plaintext"});
}
bool IsFormattingTag(std::string_view n) {
  return InSet(n, {"a", "b", "big", "code", "em", "font", "i", "nobr", "s", "small", "strike",
                   "strong", "tt", "u"});
}
// Elements a later sibling of the same group ends: their group, or 0.
int ImpliedEndGroup(std::string_view n) {
  if (n == "p") return 1;
  if (n == "li") return 2;
  if (n == "dt" || n == "dd") return 3;
  if (n == "option" || n == "optgroup") return 4;
  if (n == "tr") return 5;
  if (n == "td" || n == "th") return 6;
  if (n == "thead" || n == "tbody" || n == "tfoot") return 7;
  if (n == "rb" || n == "rt" || n == "rp" || n == "rtc") return 8;
  return 0;
}
bool ClosesParagraph(std::string_view n) {
  return InSet(
      n, {"address", "article", "aside",    "blockquote", "center",  "details", "dialog", "dir",
          "div",     "dl",      "fieldset", "figcaption", "figure",  "footer",  "form",   "h1",
          "h2",      "h3",      "h4",       "h5",         "h6",      "header",  "hgroup", "main",
          "menu",    "nav",     "ol",       "pre",        "section", "summary", "table",  "ul",
          "li",      "dd",      "dt",       "listing"});
}

std::string GuardMarkup(const std::string& in, std::vector<std::string>& notes) {
  std::string out;
  size_t copied = 0, pos = 0, droppedAttributes = 0, flattened = 0;
  std::vector<std::string> open;
  std::map<std::string, size_t> closedEarly;  // their own end tags are dropped
  size_t foreign = 0;                         // svg and math elements open
  auto lowerName = [&](size_t& p) {
    std::string name;
    while (p < in.size() && !IsBlank(in[p]) && in[p] != '/' && in[p] != '>')
      name.push_back(LowerChar(in[p++]));
    return name;
  };
  auto truncate = [&](size_t k) {
    for (size_t j = k; j < open.size(); ++j)
      if (open[j] == "svg" || open[j] == "math") --foreign;
    open.resize(k);
  };
  while ((pos = in.find('<', pos)) != std::string::npos) {
    const size_t start = pos;
    if (in.compare(pos, 4, "<!--") == 0) {
      size_t e = in.find("-->", pos + 4);
      pos = e == std::string::npos ? in.size() : e + 3;
      continue;
    }
    if (pos + 1 >= in.size()) break;
    char c = in[pos + 1];
    if (c == '!' || c == '?') {
      size_t e = in.find('>', pos);
      pos = e == std::string::npos ? in.size() : e + 1;
      continue;
    }
    bool end = c == '/';
    size_t p = pos + (end ? 2 : 1);
    if (p >= in.size() || !std::isalpha(static_cast<unsigned char>(in[p]))) {
      ++pos;
      continue;
    }
    std::string name = lowerName(p);
    // Attributes: where each begins, and where the tag ends.
    size_t count = 0, cut = std::string::npos;
    PrescanAttr a;
    for (size_t before = p; NextAttribute(in, p, a); before = p)
      if (++count == kMaxAttributes + 1) cut = before;
    const bool selfClosing = p >= 2 && in[p - 1] == '>' && in[p - 2] == '/';
    pos = p;
    if (end) {
      if (auto it = closedEarly.find(name); it != closedEarly.end() && it->second) {
        --it->second;
        out.append(in, copied, start - copied);
        copied = pos;
        continue;
      }
      for (size_t k = open.size(); k-- > 0;) {
        if (open[k] != name) continue;
        if (IsFormattingTag(name))
          open.erase(open.begin() + static_cast<std::ptrdiff_t>(k));  // what it holds is reopened
        else
          truncate(k);
        break;
      }
      continue;
    }
    if (cut != std::string::npos) {
      droppedAttributes += count - kMaxAttributes;
      out.append(in, copied, cut - copied);
      out += selfClosing ? "/>" : ">";
      copied = pos;
    }
    if (IsRawTextTag(name)) {
      // Its text is no markup: on to its end tag.
      if (name == "plaintext") break;
      size_t q = pos;
      while ((q = in.find("</", q)) != std::string::npos) {
        size_t r = q + 2;
        if (lowerName(r) == name) break;
        q += 2;
      }
      pos = q == std::string::npos ? in.size() : q;
      continue;
    }
    if (IsVoidTag(name) || (selfClosing && foreign)) continue;
    if (int group = ImpliedEndGroup(name)) {
      for (size_t k = open.size(), steps = 0; k-- > 0 && steps < 8; ++steps) {
        if (ImpliedEndGroup(open[k]) == group) {
          truncate(k);
          break;
        }
        if (!ImpliedEndGroup(open[k]) && !IsFormattingTag(open[k])) break;
      }
    }
    if (ClosesParagraph(name)) {
      for (size_t k = open.size(), steps = 0; k-- > 0 && steps < 8; ++steps) {
        if (open[k] == "p") {
          truncate(k);
          break;
        }
        if (!IsFormattingTag(open[k])) break;
      }
    }
    if (open.size() >= kMaxNesting) {
      ++flattened;
      ++closedEarly[name];
      out.append(in, copied, start - copied);
      copied = pos;
      continue;
    }
    open.push_back(name);
    if (name == "svg" || name == "math") ++foreign;
  }
  if (droppedAttributes)
    notes.push_back(std::to_string(droppedAttributes) + " attribute" +
                    (droppedAttributes == 1 ? "" : "s") + " beyond the first " +
                    std::to_string(kMaxAttributes) + " of an element dropped");
  if (flattened)
    notes.push_back(std::to_string(flattened) + " element" + (flattened == 1 ? "" : "s") +
                    " nested deeper than " + std::to_string(kMaxNesting) +
                    " levels dropped, what they held kept at that level");
  if (!copied) return {};
  out.append(in, copied, std::string::npos);
  return out;
}

void Parse(DomDocument* doc, const std::u16string& text, std::vector<std::string>& notes) {
  std::string utf8 = ToUtf8(text);
  if (std::string guarded = GuardMarkup(utf8, notes); !guarded.empty()) utf8 = std::move(guarded);
  Arena arena;
  GumboOptions options = kGumboDefaultOptions;
  options.allocator = &Arena::Allocate;
  options.deallocator = &Arena::Free;
  options.userdata = &arena;
  options.max_errors = 0;
  GumboOutput* out = gumbo_parse_with_options(&options, utf8.data(), utf8.size());
  const GumboDocument& d = out->document->v.document;
  doc->hasDoctype = d.has_doctype;
  doc->doctypeName = FromUtf8(d.name ? d.name : "");
  doc->doctypePublic = FromUtf8(d.public_identifier ? d.public_identifier : "");
  doc->doctypeSystem = FromUtf8(d.system_identifier ? d.system_identifier : "");
  BuildTree(doc, out->document);
  // The arena frees the whole parse at once.
}

// --- Files named by the page.

std::string FileUrl(const std::string& path) {
  static const char* kHex = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    if (c <= 0x20 || c >= 0x7F || c == '%' || c == '#' || c == '?' || c == '"') {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    } else {
      url += static_cast<char>(c);
    }
  }
  return url;
}

std::string PercentDecode(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    auto hex = [](char c) {
      return c >= '0' && c <= '9'   ? c - '0'
             : c >= 'a' && c <= 'f' ? c - 'a' + 10
             : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                    : -1;
    };
    if (s[i] == '%' && i + 2 < s.size() + 0 && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2])));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

}  // namespace

LocalRef ResolveLocal(const std::string& fromPath, std::u16string_view ref) {
  std::string r = ToUtf8(ref);
  size_t b = 0, e = r.size();
  while (b < e && IsBlank(r[b])) ++b;
  while (e > b && IsBlank(r[e - 1])) --e;
  r = r.substr(b, e - b);
  for (auto& c : r)
    if (c == '\\') c = '/';
  if (r.empty() || fromPath.empty()) return {};
  // A scheme (two or more letters; one letter is a drive, which is not ours).
  size_t colon = r.find(':');
  size_t slash = r.find('/');
  if (colon != std::string::npos && (slash == std::string::npos || colon < slash)) {
    std::string scheme = r.substr(0, colon);
    for (auto& c : scheme) c = LowerChar(c);
    if (scheme != "file") return {};
    std::string rest = r.substr(colon + 1);
    if (rest.starts_with("//")) {
      rest = rest.substr(2);
      if (rest.starts_with("localhost/")) rest = rest.substr(9);
      if (!rest.starts_with("/")) return {};  // another host
    }
    rest = rest.substr(0, rest.find_first_of("?#"));
    return {PercentDecode(rest), {}};
  }
  r = r.substr(0, r.find_first_of("?#"));
  std::string decoded = PercentDecode(r);
  if (decoded.empty() || decoded.find('\0') != std::string::npos) return {};
  if (decoded.starts_with("/")) return {decoded, {}};
  fs::path rel = fs::path(decoded).lexically_normal();
  LocalRef out;
  out.path = (fs::path(fromPath).parent_path() / rel).lexically_normal().string();
  std::string relText = rel.string();
  if (!rel.empty() && relText != "." && !relText.starts_with("../") && relText != ".." &&
      !rel.has_root_path() && !relText.ends_with("/"))
    out.relative = relText;
  return out;
}

namespace {

// A regular file, not too large, read whole; nullopt otherwise.
std::optional<std::string> ReadLocalFile(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) > kMaxFileSize || ec)
    return std::nullopt;
  try {
    return ReadFileIfExists(path);
  } catch (const Error&) {
    return std::nullopt;
  }
}

// Whether a frame's file is a page, by its name as a browser types local
// files; a file with no extension is taken for one.
bool IsHtmlFile(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (auto& c : ext) c = LowerChar(c);
  for (const char* e : {"", ".html", ".htm", ".xhtml", ".xht", ".shtml", ".shtm", ".hta", ".asp",
                        ".aspx", ".php", ".jsp", ".cfm"})
    if (ext == e) return true;
  return false;
}

struct LoadContext {
  const LoadOptions& options;
  LoadHooks* hooks = nullptr;
  unsigned documents = 0;
};

bool HasToken(std::u16string_view list, std::u16string_view token) {
  size_t pos = 0;
  while (pos < list.size()) {
    while (pos < list.size() && (list[pos] == u' ' || list[pos] == u'\t' || list[pos] == u'\n' ||
                                 list[pos] == u'\r' || list[pos] == u'\f'))
      ++pos;
    size_t end = pos;
    while (end < list.size() && list[end] != u' ' && list[end] != u'\t' && list[end] != u'\n' &&
           list[end] != u'\r' && list[end] != u'\f')
      ++end;
    if (end > pos && EqualNoCase(list.substr(pos, end - pos), token)) return true;
    pos = end;
  }
  return false;
}

std::u16string DecodeSheet(const std::string& bytes, UINT documentCp, UINT* cp, bool* own) {
  *own = true;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    *cp = CP_UTF8;
    return DecodeCodePage(CP_UTF8, std::string_view(bytes).substr(3));
  }
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    *cp = bytes[0] == '\xFE' ? CP_UTF16BE : CP_UTF16LE;
    return DecodeUtf16(std::string_view(bytes).substr(2), *cp == CP_UTF16BE);
  }
  *cp = SheetCodePageOf(documentCp);
  *own = false;
  if (bytes.starts_with("@charset \"")) {
    size_t e = bytes.find('"', 10);
    if (e != std::string::npos && e < 64) {
      CharsetInfo info = LookUpCharset(bytes.substr(10, e - 10));
      if (info.codePage && info.codePage != CP_UTF16LE && info.codePage != CP_UTF16BE &&
          IsValidCodePage(info.codePage))
        *cp = info.codePage, *own = true;
    }
  }
  return DecodeCodePage(*cp, bytes);
}

void LoadDocument(WebBrowser* browser, std::string_view bytes, const std::string& path,
                  LoadContext& ctx, unsigned depth, std::vector<std::string>& ancestors);
void LoadTarget(WebBrowser* browser, std::string& bytes, const std::string& path, LoadContext& ctx,
                unsigned depth, std::vector<std::string>& ancestors, bool announce);

std::u16string UrlOfPath(const std::string& path) {
  std::error_code ec;
  std::string absolute = fs::absolute(path, ec).lexically_normal().string();
  return Widen(FileUrl(ec ? path : absolute));
}

void LoadFrame(WebBrowser* frame, const std::string& fromPath, LoadContext& ctx, unsigned depth,
               std::vector<std::string>& ancestors) {
  const std::u16string* src = frame->frameElement->Attr(u"src");
  LocalRef ref = src ? ResolveLocal(fromPath, *src) : LocalRef{};
  std::optional<std::string> bytes;
  if (!ref.path.empty() && depth <= ctx.options.maxFrameDepth &&
      ctx.documents < ctx.options.maxDocuments) {
    std::error_code ec;
    std::string canonical = fs::weakly_canonical(ref.path, ec).string();
    if (ec) canonical = ref.path;
    if (std::find(ancestors.begin(), ancestors.end(), canonical) == ancestors.end())
      bytes = ReadLocalFile(ref.path);
  }
  if (!bytes) {
    if (ctx.hooks && !ctx.hooks->BeginFrame(frame, u"about:blank")) return LoadBlank(frame);
    LoadBlank(frame);
    if (ctx.hooks) ctx.hooks->Navigated(frame), ctx.hooks->Loaded(frame);
    return;
  }
  LoadTarget(frame, *bytes, ref.path, ctx, depth, ancestors, true);
}

void LoadTarget(WebBrowser* browser, std::string& bytes, const std::string& path, LoadContext& ctx,
                unsigned depth, std::vector<std::string>& ancestors, bool announce) {
  if (announce && ctx.hooks && !ctx.hooks->BeginFrame(browser, UrlOfPath(path)))
    return LoadBlank(browser);
  if (IsHtmlFile(path)) return LoadDocument(browser, bytes, path, ctx, depth, ancestors);
  browser->document = nullptr;
  browser->otherDocument = browser->zone->Make<PluginObject>()->Identity();
  browser->otherPath = path;
  browser->otherBytes = std::move(bytes);
  browser->otherUrl = UrlOfPath(path);
  if (ctx.hooks) ctx.hooks->Navigated(browser), ctx.hooks->Loaded(browser);
}

void LoadDocument(WebBrowser* browser, std::string_view bytes, const std::string& path,
                  LoadContext& ctx, unsigned depth, std::vector<std::string>& ancestors) {
  Zone* zone = browser->zone;
  ++ctx.documents;
  DomDocument* doc = zone->Make<DomDocument>();
  doc->browser = browser;
  doc->window = zone->Make<DomWindow>(doc);
  browser->document = doc;
  browser->otherDocument = nullptr;
  doc->path = path;
  doc->url = UrlOfPath(path);
  std::error_code ec;

  Decoded decoded = DecodePage(bytes, ctx.options);
  doc->charset = doc->loadedCharset = decoded.name;
  doc->codePage = decoded.codePage;
  doc->source = decoded.source;
  doc->hadSignature = decoded.signature;
  std::vector<std::string> notes;
  Parse(doc, decoded.text, notes);
  if (ctx.options.note)
    for (const auto& n : notes) ctx.options.note(path + ": " + n);

  // Linked style sheets.
  for (DomElement* link : doc->Elements([](DomElement* e) { return e->Is(u"link"); })) {
    const std::u16string* rel = link->Attr(u"rel");
    const std::u16string* href = link->Attr(u"href");
    if (!rel || !href || !HasToken(*rel, u"stylesheet")) continue;
    LocalRef ref = ResolveLocal(path, *href);
    if (ref.path.empty()) continue;
    auto sheetBytes = ReadLocalFile(ref.path);
    if (!sheetBytes) continue;
    LinkedSheet sheet;
    sheet.path = ref.path;
    sheet.href = *href;
    sheet.text = DecodeSheet(*sheetBytes, doc->codePage, &sheet.codePage, &sheet.ownCharset);
    sheet.bytes = std::move(*sheetBytes);
    doc->linkedSheets.emplace(link, std::move(sheet));
  }

  if (ctx.hooks) ctx.hooks->Navigated(browser);
  // Embeddings, in document order; frames load after their document.
  std::string canonical = fs::weakly_canonical(path, ec).string();
  ancestors.push_back(ec ? path : canonical);
  for (DomElement* e : doc->Elements([](DomElement* el) {
         return el->Is(u"frame") || el->Is(u"iframe") || el->Is(u"object") || el->Is(u"embed") ||
                el->Is(u"applet");
       })) {
    if (e->Is(u"frame") || e->Is(u"iframe")) {
      WebBrowser* frame = zone->Make<WebBrowser>(browser);
      frame->frameElement = e;
      e->embedding = frame->Identity();
      doc->embeddings.push_back(frame->Identity());
      LoadFrame(frame, path, ctx, depth + 1, ancestors);
    } else {
      PluginObject* plugin = zone->Make<PluginObject>();
      e->embedding = plugin->Identity();
      doc->embeddings.push_back(plugin->Identity());
    }
  }
  ancestors.pop_back();
  if (ctx.hooks) ctx.hooks->Loaded(browser);
}

// A string decoded from bytes in code page from, decoded again as if they
// were in code page to. Characters from does not hold (character references,
// &nbsp; in a Chinese code page) did not come from bytes and stay.
std::u16string ReadAgain(const std::u16string& s, UINT from, UINT to) {
  bool ascii = true;
  for (char16_t c : s) ascii = ascii && c < 0x80;
  if (ascii) return s;
  std::string bytes = EncodeCodePage(from, s);
  if (DecodeCodePage(from, bytes) == s) return DecodeCodePage(to, bytes);
  std::u16string out;
  size_t run = 0;  // start of the current run of characters from bytes
  auto flush = [&](size_t end) {
    if (end > run) out += DecodeCodePage(to, EncodeCodePage(from, s.substr(run, end - run)));
  };
  for (size_t i = 0; i < s.size(); ++i) {
    std::u16string one(1, s[i]);
    if (s[i] < 0x80 || DecodeCodePage(from, EncodeCodePage(from, one)) == one) continue;
    flush(i);
    out += s[i];
    run = i + 1;
  }
  flush(s.size());
  return out;
}

}  // namespace

void LoadBlank(WebBrowser* browser) {
  Zone* zone = browser->zone;
  DomDocument* doc = zone->Make<DomDocument>();
  doc->browser = browser;
  doc->window = zone->Make<DomWindow>(doc);
  browser->document = doc;
  browser->otherDocument = nullptr;
  DomElement* html = doc->NewElement(u"html");
  doc->root.AppendChild(html);
  html->AppendChild(doc->NewElement(u"head"));
  html->AppendChild(doc->NewElement(u"body"));
  doc->charset = doc->loadedCharset = "utf-8";
  doc->codePage = CP_UTF8;
}

}  // namespace quillmer::browser

namespace quillmer {

using namespace browser;

ComPtr<IWebBrowser2> LoadPageFromBytes(std::string_view bytes, const std::string& path,
                                       const LoadOptions& options) {
  auto* zone = new Zone;
  WebBrowser* top = zone->Make<WebBrowser>(nullptr);
  ComPtr<IWebBrowser2> result(top);  // the zone lives from here on
  LoadContext ctx{options};
  std::vector<std::string> ancestors;
  LoadDocument(top, bytes, path, ctx, 0, ancestors);
  return result;
}

namespace browser {

void LoadInto(WebBrowser* target, std::string bytes, const std::string& path,
              const LoadOptions& options, LoadHooks* hooks) {
  LoadContext ctx{options, hooks};
  // The frames above the target are its ancestors: a page may not load itself.
  std::vector<std::string> ancestors;
  unsigned depth = 0;
  for (WebBrowser* b = target->parent; b; b = b->parent, ++depth) {
    if (!b->document || b->document->path.empty()) continue;
    std::error_code ec;
    std::string canonical = fs::weakly_canonical(b->document->path, ec).string();
    ancestors.insert(ancestors.begin(), ec ? b->document->path : canonical);
  }
  LoadTarget(target, bytes, path, ctx, depth, ancestors, false);
}

std::optional<std::string> ReadPageFile(const std::string& path) { return ReadLocalFile(path); }

std::u16string FileUrlOf(const std::string& path) { return UrlOfPath(path); }

}  // namespace browser

bool ReadDocumentAs(IHTMLDocument2* document, std::u16string_view charset) {
  auto* doc = dynamic_cast<DomDocument*>(document);
  if (!doc) return false;
  for (char16_t c : charset)
    if (c > 0x7F) return false;
  CharsetInfo info = LookUpCharset(Narrow(charset));
  if (!info.codePage || info.codePage == CP_UTF16LE || info.codePage == CP_UTF16BE ||
      !IsValidCodePage(info.codePage))
    return false;
  const UINT from = doc->codePage, to = info.codePage;
  if (from == CP_UTF16LE || from == CP_UTF16BE) return false;
  if (from != to) {
    // The tree is walked without recursion: pages nest deep.
    for (DomNode* n = doc->root.firstChild; n;) {
      if (n->kind == NodeKind::Element) {
        for (Attribute& a : static_cast<DomElement*>(n)->attrs)
          a.value = ReadAgain(a.value, from, to);
      } else {
        n->text = ReadAgain(n->text, from, to);
      }
      if (n->firstChild) {
        n = n->firstChild;
        continue;
      }
      while (n && !n->next) {
        n = n->parent;
        if (n == &doc->root) n = nullptr;
      }
      if (n) n = n->next;
    }
    doc->doctypeName = ReadAgain(doc->doctypeName, from, to);
    doc->doctypePublic = ReadAgain(doc->doctypePublic, from, to);
    doc->doctypeSystem = ReadAgain(doc->doctypeSystem, from, to);
    // Sheets that take the page's charset are read again from their bytes.
    for (auto& [owner, sheet] : doc->linkedSheets)
      if (!sheet.modified)
        sheet.text = DecodeSheet(sheet.bytes, to, &sheet.codePage, &sheet.ownCharset);
  }
  doc->charset = info.name;
  doc->codePage = to;
  return true;
}

ComPtr<IWebBrowser2> LoadPage(const std::string& path, const LoadOptions& options) {
  std::error_code ec;
  if (fs::is_directory(path, ec))
    throw Error("cannot read '" + path + "': Is a directory", E_ACCESSDENIED);
  auto bytes = ReadFileIfExists(path);
  if (!bytes)
    throw Error("cannot read '" + path + "': No such file or directory", E_FILE_NOT_FOUND);
  return LoadPageFromBytes(*bytes, path, options);
}

}  // namespace quillmer
