// Writing pages back: our own HTML serializer, in the document's character
// set, with character references for what the character set cannot hold.
#include <filesystem>
#include <set>

#include "platform/base/fileio.h"
#include "platform/browser/model.h"
#include "platform/win32/dialogs.h"

namespace quillmer::browser {
namespace {

namespace fs = std::filesystem;

bool Contains(std::initializer_list<std::u16string_view> set, std::u16string_view tag) {
  for (auto t : set)
    if (t == tag) return true;
  return false;
}

bool IsVoid(const DomElement* e) {
  return !e->foreign && Contains({u"area", u"base", u"basefont", u"bgsound", u"br", u"col",
                                  u"embed", u"frame", u"hr", u"img", u"input", u"keygen", u"link",
                                  u"meta", u"param", u"source", u"track", u"wbr"},
                                 e->tag);
}

bool IsRawText(const DomElement* e) {
  return e && !e->foreign &&
         Contains({u"style", u"script", u"xmp", u"iframe", u"noembed", u"noframes", u"plaintext"},
                  e->tag);
}

// Whether a character set can hold a character, learnt one character at a
// time and remembered.
class Encodability {
 public:
  explicit Encodability(UINT cp) : cp_(cp) {
    all_ = cp == 0 || cp == CP_UTF8 || cp == CP_UTF16LE || cp == CP_UTF16BE || cp == 54936;
    if (!all_) known_.assign(0x10000, 0);
  }
  bool Can(char32_t c) {
    if (all_ || c < 0x80) return true;
    if (c > 0xFFFF) return false;  // none of the others holds the supplementary planes
    auto& k = known_[c];
    if (!k) {
      std::u16string one(1, static_cast<char16_t>(c));
      std::string bytes = EncodeCodePage(cp_, one);
      k = !bytes.empty() && bytes != "?" && DecodeCodePage(cp_, bytes) == one ? 1 : 2;
    }
    return k == 1;
  }

 private:
  UINT cp_;
  bool all_;
  std::vector<std::uint8_t> known_;
};

enum class Context { Text, Attribute, Raw, Css, Script, Comment };

class Writer {
 public:
  explicit Writer(UINT cp) : can_(cp) {}
  std::u16string out;

  void Markup(std::u16string_view s) { out += s; }

  void Put(std::u16string_view s, Context ctx) {
    for (size_t i = 0; i < s.size(); ++i) {
      char32_t c = s[i];
      size_t units = 1;
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
          s[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
        units = 2;
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        c = 0xFFFD;  // a lone surrogate cannot be written in any character set
      }
      if (ctx == Context::Text || ctx == Context::Attribute) {
        if (c == u'&') {
          out += u"&amp;";
          continue;
        }
        if (c == 0xA0) {
          out += u"&nbsp;";
          continue;
        }
        if (ctx == Context::Text && (c == u'<' || c == u'>')) {
          out += c == u'<' ? u"&lt;" : u"&gt;";
          continue;
        }
        if (ctx == Context::Attribute && c == u'"') {
          out += u"&quot;";
          continue;
        }
      }
      if (can_.Can(c)) {
        if (c == 0xFFFD && units == 1 && s[i] != 0xFFFD)
          out += u'\uFFFD';
        else
          out.append(s.substr(i, units));
      } else {
        Escape(c, ctx);
      }
      i += units - 1;
    }
  }

 private:
  void Escape(char32_t c, Context ctx) {
    char buf[24];
    if (ctx == Context::Css)
      std::snprintf(buf, sizeof buf, "\\%X ", static_cast<unsigned>(c));
    else if (ctx == Context::Script && c <= 0xFFFF)
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
    else if (ctx == Context::Script)
      std::snprintf(buf, sizeof buf, "\\u{%X}", static_cast<unsigned>(c));
    else
      std::snprintf(buf, sizeof buf, "&#%u;", static_cast<unsigned>(c));
    out += Widen(buf);
  }
  Encodability can_;
};

// Text inside a raw-text element must not end it early.
std::u16string GuardRawText(std::u16string_view text, std::u16string_view tag) {
  std::u16string out;
  size_t pos = 0;
  while (true) {
    size_t lt = text.find(u"</", pos);
    if (lt == std::u16string_view::npos) break;
    out.append(text.substr(pos, lt - pos));
    if (EqualNoCase(text.substr(lt + 2, tag.size()), tag))
      out += u"<\\/";
    else
      out += u"</";
    pos = lt + 2;
  }
  out.append(text.substr(pos));
  return out;
}

bool ValidAttributeName(std::u16string_view name) {
  if (name.empty()) return false;
  for (char16_t c : name)
    if (c <= 0x20 || c == u'"' || c == u'\'' || c == u'>' || c == u'/' || c == u'=' || c == u'<' ||
        (c >= 0x7F && c <= 0x9F))
      return false;
  return true;
}

struct SaveCharset {
  std::u16string name;  // written into the declarations; empty: leave them
  bool insert = false;  // add one when the page has none
};

bool IsDeclaration(const DomElement* e) {
  if (!e->Is(u"meta")) return false;
  if (e->Attr(u"charset")) return true;
  const std::u16string* eq = e->Attr(u"http-equiv");
  return eq && EqualNoCase(*eq, u"content-type") && e->Attr(u"content");
}

std::u16string WithCharset(std::u16string_view content, std::u16string_view name) {
  std::u16string lower = LowerAscii(content);
  size_t pos = lower.find(u"charset");
  if (pos == std::u16string::npos) {
    std::u16string out(content);
    size_t e = out.size();
    while (e && out[e - 1] == u' ') --e;
    out.resize(e);
    return out + (out.empty() || out.back() == u';' ? u"" : u";") + u" charset=" +
           std::u16string(name);
  }
  size_t p = pos + 7;
  while (p < content.size() && content[p] == u' ') ++p;
  if (p >= content.size() || content[p] != u'=')
    return std::u16string(content.substr(0, pos)) + u"charset=" + std::u16string(name);
  ++p;
  while (p < content.size() && content[p] == u' ') ++p;
  size_t e = p;
  if (p < content.size() && (content[p] == u'"' || content[p] == u'\'')) {
    size_t q = content.find(content[p], p + 1);
    e = q == std::u16string_view::npos ? content.size() : q + 1;
  } else {
    while (e < content.size() && content[e] != u';' && content[e] != u' ') ++e;
  }
  return std::u16string(content.substr(0, p)) + std::u16string(name) +
         std::u16string(content.substr(e));
}

void WriteNode(const DomNode* n, Writer& w, const SaveCharset& cs);

void WriteChildren(const DomNode* n, Writer& w, const SaveCharset& cs) {
  const DomElement* e = n->kind == NodeKind::Element ? static_cast<const DomElement*>(n) : nullptr;
  if (e && e->Is(u"head") && cs.insert && !cs.name.empty()) {
    w.Markup(u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=");
    w.Put(cs.name, Context::Attribute);
    w.Markup(u"\">");
  }
  for (const DomNode* c = n->firstChild; c; c = c->next) WriteNode(c, w, cs);
}

void WriteNode(const DomNode* n, Writer& w, const SaveCharset& cs) {
  const DomElement* parent = n->parent && n->parent->kind == NodeKind::Element
                                 ? static_cast<const DomElement*>(n->parent)
                                 : nullptr;
  switch (n->kind) {
    case NodeKind::Document:
      WriteChildren(n, w, cs);
      return;
    case NodeKind::Text:
      if (IsRawText(parent)) {
        Context ctx = parent->tag == u"style"    ? Context::Css
                      : parent->tag == u"script" ? Context::Script
                                                 : Context::Raw;
        w.Put(GuardRawText(n->text, parent->tag), ctx);
      } else {
        w.Put(n->text, Context::Text);
      }
      return;
    case NodeKind::Comment:
      w.Markup(u"<!--");
      w.Put(n->text, Context::Comment);
      w.Markup(u"-->");
      return;
    case NodeKind::CData:
      w.Markup(u"<![CDATA[");
      w.Put(n->text, Context::Comment);
      w.Markup(u"]]>");
      return;
    case NodeKind::Element:
      break;
  }
  const auto* e = static_cast<const DomElement*>(n);
  w.Markup(u"<");
  w.Put(e->tag, Context::Raw);
  bool declaration = !cs.name.empty() && IsDeclaration(e);
  for (const auto& a : e->attrs) {
    if (!ValidAttributeName(a.name)) continue;
    std::u16string value = a.value;
    if (declaration && EqualNoCase(a.name, u"charset")) value = cs.name;
    if (declaration && EqualNoCase(a.name, u"content") && !e->Attr(u"charset"))
      value = WithCharset(a.value, cs.name);
    w.Markup(u" ");
    w.Put(a.name, Context::Raw);
    w.Markup(u"=\"");
    w.Put(value, Context::Attribute);
    w.Markup(u"\"");
  }
  w.Markup(u">");
  if (IsVoid(e) && !e->firstChild) return;
  if ((e->Is(u"pre") || e->Is(u"textarea") || e->Is(u"listing")) && e->firstChild &&
      e->firstChild->kind == NodeKind::Text && e->firstChild->text.starts_with(u"\n"))
    w.Markup(u"\n");
  WriteChildren(e, w, cs);
  if (IsVoid(e)) return;
  w.Markup(u"</");
  w.Put(e->tag, Context::Raw);
  w.Markup(u">");
}

std::string Encode(const std::u16string& text, UINT cp, bool signature) {
  std::string out;
  if (cp == CP_UTF16LE || cp == CP_UTF16BE) {
    bool be = cp == CP_UTF16BE;
    out = be ? "\xFE\xFF" : "\xFF\xFE";
    out.reserve(2 + text.size() * 2);
    for (char16_t c : text) {
      char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
      out.push_back(be ? hi : lo);
      out.push_back(be ? lo : hi);
    }
    return out;
  }
  if (signature && cp == CP_UTF8) out = "\xEF\xBB\xBF";
  return out + (cp == CP_UTF8 ? ToUtf8(text) : EncodeCodePage(cp, text));
}

std::u16string DoctypeText(const DomDocument* doc) {
  std::u16string s = u"<!DOCTYPE " + (doc->doctypeName.empty() ? u"html" : doc->doctypeName);
  if (!doc->doctypePublic.empty()) {
    s += u" PUBLIC \"" + doc->doctypePublic + u"\"";
    if (!doc->doctypeSystem.empty()) s += u" \"" + doc->doctypeSystem + u"\"";
  } else if (!doc->doctypeSystem.empty()) {
    s += u" SYSTEM \"" + doc->doctypeSystem + u"\"";
  }
  return s + u">\n";
}

std::string SerializeWhole(const DomDocument* doc) {
  Writer w(doc->codePage);
  SaveCharset cs;
  if (doc->charset != doc->loadedCharset) {
    cs.name = Widen(doc->charset);
    bool hasDeclaration = !doc->Elements(IsDeclaration).empty();
    cs.insert = !hasDeclaration;
  }
  if (doc->hasDoctype) w.Put(DoctypeText(doc), Context::Raw);
  WriteNode(&doc->root, w, cs);
  bool signature = doc->hadSignature && doc->charset == doc->loadedCharset;
  return Encode(w.out, doc->codePage, signature);
}

std::string EncodeSheet(const LinkedSheet& sheet, UINT cp) {
  Writer w(cp);
  w.Put(sheet.text, Context::Css);
  bool signature = sheet.bytes.starts_with("\xEF\xBB\xBF");
  return Encode(w.out, cp, signature);
}

bool IsAsciiBytes(std::string_view bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

// A frame's file that is no page goes beside the saved page as it was.
void CopyBeside(const WebBrowser& frame, const std::string& fromPath, const std::string& dir,
                SaveResult& result, std::set<std::string>& written) {
  const std::u16string* src = frame.frameElement->Attr(u"src");
  LocalRef ref = src ? ResolveLocal(fromPath, *src) : LocalRef{};
  if (ref.relative.empty()) {
    result.skipped.push_back(ToUtf8(src ? *src : u"") + ": not beside the page, not written");
    return;
  }
  std::string dest = dir + ref.relative;
  std::string key = fs::absolute(dest).lexically_normal().string();
  if (written.count(key) || SameFile(dest, frame.otherPath)) return;
  try {
    MakeDirectories(DirectoryOf(dest));
    ReplaceFileAtomic(dest, frame.otherBytes, -1, ReadOnlyFiles::Refuse);
    written.insert(key);
    result.written.push_back(dest);
  } catch (const Error& e) {
    result.skipped.push_back(e.what());
  }
}

void SaveDocument(const DomDocument* doc, const std::string& outPath, SaveResult& result,
                  std::set<std::string>& written, bool top) {
  std::string key = fs::absolute(outPath).lexically_normal().string();
  if (!top && written.count(key)) {
    result.skipped.push_back(outPath + ": written already by this save");
    return;
  }
  std::string bytes = SerializeWhole(doc);
  if (top) {
    ReplaceFileAtomic(outPath, bytes, -1, ReadOnlyFiles::Refuse);
  } else {
    try {
      MakeDirectories(DirectoryOf(outPath));
      ReplaceFileAtomic(outPath, bytes, -1, ReadOnlyFiles::Refuse);
    } catch (const Error& e) {
      result.skipped.push_back(e.what());
      return;
    }
  }
  written.insert(key);
  result.written.push_back(outPath);
  std::string dir = DirectoryOf(outPath);

  for (const DomElement* owner : doc->StyleSheetOwners()) {
    auto it = doc->linkedSheets.find(owner);
    if (it == doc->linkedSheets.end()) continue;
    const LinkedSheet& sheet = it->second;
    LocalRef ref = ResolveLocal(doc->path, sheet.href);
    if (ref.relative.empty()) {
      if (sheet.modified)
        result.skipped.push_back(ToUtf8(sheet.href) + ": not beside the page, not written");
      continue;
    }
    std::string dest = dir + ref.relative;
    std::string destKey = fs::absolute(dest).lexically_normal().string();
    if (written.count(destKey)) continue;
    // A sheet without a charset of its own is read in the page's: when that
    // changed, its text goes in the new one.
    const UINT cp = sheet.ownCharset ? sheet.codePage : SheetCodePageOf(doc->codePage);
    const bool encode = sheet.modified || (cp != sheet.codePage && !IsAsciiBytes(sheet.bytes));
    if (!encode && SameFile(dest, sheet.path)) continue;
    try {
      MakeDirectories(DirectoryOf(dest));
      ReplaceFileAtomic(dest, encode ? EncodeSheet(sheet, cp) : sheet.bytes, -1,
                        ReadOnlyFiles::Refuse);
      written.insert(destKey);
      result.written.push_back(dest);
    } catch (const Error& e) {
      result.skipped.push_back(e.what());
    }
  }

  for (IUnknown* embedding : doc->embeddings) {
    auto* frame = dynamic_cast<WebBrowser*>(embedding);
    if (!frame) continue;
    if (frame->otherDocument) {
      CopyBeside(*frame, doc->path, dir, result, written);
      continue;
    }
    if (!frame->document || frame->document->path.empty()) continue;
    const std::u16string* src = frame->frameElement->Attr(u"src");
    LocalRef ref = src ? ResolveLocal(doc->path, *src) : LocalRef{};
    if (ref.relative.empty()) {
      result.skipped.push_back(ToUtf8(src ? *src : u"") + ": not beside the page, not written");
      continue;
    }
    SaveDocument(frame->document, dir + ref.relative, result, written, false);
  }
}

}  // namespace

std::u16string SerializeChildren(const DomNode* node) {
  Writer w(0);
  WriteChildren(node, w, {});
  return w.out;
}

std::u16string SerializeNode(const DomNode* node) {
  Writer w(0);
  WriteNode(node, w, {});
  return w.out;
}

}  // namespace quillmer::browser

namespace quillmer {

using namespace browser;

std::string SerializeDocument(IHTMLDocument2* document) {
  auto* doc = dynamic_cast<DomDocument*>(document);
  if (!doc) throw Error("not a document of the browser model", E_INVALIDARG);
  return SerializeWhole(doc);
}

SaveResult SavePage(IWebBrowser2* browser, const std::string& path) {
  auto* b = dynamic_cast<WebBrowser*>(browser);
  if (!b || !b->document) throw Error("not a browser of the browser model", E_INVALIDARG);
  SaveResult result;
  std::set<std::string> written;
  SaveDocument(b->document, path, result, written, true);
  return result;
}

}  // namespace quillmer
