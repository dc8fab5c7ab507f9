// The XML export document through the platform's XML DOM (the 6.0 class,
// else the 3.0 one), and the file side of import and export.
#include <windows.h>
#include <msxml2.h>

#include <cwchar>

#include "base/Scoped.h"
#include "filter/ConditionTransfer.h"

namespace pw {
namespace {

// {88d96a05-f192-11d4-a65f-0040963251e5} and {f5078f32-c551-11d3-89b9-0000f81fe221}.
const CLSID kDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
// IXMLDOMDocument2: {2933BF95-7B36-11d2-B20E-00C04F983E60}.
const IID kIXMLDOMDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

class Bstr {
 public:
  explicit Bstr(const wchar_t* s) : b_(SysAllocString(s)) {}
  explicit Bstr(const std::wstring& s) : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
  Bstr() = default;
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR Get() const { return b_; }
  BSTR* Out() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }

 private:
  BSTR b_ = nullptr;
};

class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  static void Text(Variant& v, const std::wstring& s) {
    VariantClear(&v.v_);
    v.v_.vt = VT_BSTR;
    v.v_.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  }
  static void Bool(Variant& v, bool b) {
    VariantClear(&v.v_);
    v.v_.vt = VT_BOOL;
    v.v_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  }
  static void Int(Variant& v, int32_t n) {
    VariantClear(&v.v_);
    v.v_.vt = VT_I4;
    v.v_.lVal = n;
  }
  VARIANT& Get() { return v_; }
  VARIANT* Out() {
    VariantClear(&v_);
    return &v_;
  }
  const wchar_t* Str() const { return v_.vt == VT_BSTR && v_.bstrVal ? v_.bstrVal : nullptr; }

 private:
  VARIANT v_;
};

TransferError CreateDocument(ComPtr<IXMLDOMDocument>& doc) {
  HRESULT hr = CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument, doc.OutVoid());
  if (FAILED(hr))
    hr = CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument, doc.OutVoid());
  if (FAILED(hr)) return TransferError::NoXmlParser;
  doc->put_async(VARIANT_FALSE);
  doc->put_validateOnParse(VARIANT_FALSE);
  doc->put_resolveExternals(VARIANT_FALSE);
  ComPtr<IXMLDOMDocument2> doc2;
  if (SUCCEEDED(doc->QueryInterface(kIXMLDOMDocument2, doc2.OutVoid()))) {
    // The text is checked before it gets here; these keep the parser safe
    // on its own as well.
    Variant on, depth;
    Variant::Bool(on, true);
    Variant::Int(depth, kMaxXmlDepth);
    Bstr prohibit(L"ProhibitDTD"), maxDepth(L"MaxElementDepth");
    doc2->setProperty(prohibit.Get(), on.Get());
    doc2->setProperty(maxDepth.Get(), depth.Get());
  }
  return TransferError::None;
}

// Points `to` at `p`, holding a reference of its own.
void Assign(ComPtr<IXMLDOMNode>& to, IXMLDOMNode* p) {
  if (p) p->AddRef();
  *to.Out() = p;
}

bool IsName(IXMLDOMNode* node, const wchar_t* name) {
  Bstr n;
  return SUCCEEDED(node->get_nodeName(n.Out())) && n.Get() && wcscmp(n.Get(), name) == 0;
}

// The first element child named `name`, or null.
void FirstChild(IXMLDOMNode* parent, const wchar_t* name, ComPtr<IXMLDOMNode>& out) {
  ComPtr<IXMLDOMNode> n;
  parent->get_firstChild(n.Out());
  while (n) {
    DOMNodeType type = NODE_INVALID;
    n->get_nodeType(&type);
    if (type == NODE_ELEMENT && IsName(n.Get(), name)) {
      Assign(out, n.Get());
      return;
    }
    ComPtr<IXMLDOMNode> next;
    n->get_nextSibling(next.Out());
    Assign(n, next.Get());
  }
}

// The next element sibling, or null.
void NextElement(ComPtr<IXMLDOMNode>& n) {
  for (;;) {
    ComPtr<IXMLDOMNode> next;
    if (FAILED(n->get_nextSibling(next.Out())) || !next) {
      n.Reset();
      return;
    }
    Assign(n, next.Get());
    DOMNodeType type = NODE_INVALID;
    n->get_nodeType(&type);
    if (type == NODE_ELEMENT) return;
  }
}

bool Attribute(IXMLDOMNode* node, const wchar_t* name, std::wstring& out) {
  ComPtr<IXMLDOMElement> e;
  if (FAILED(node->QueryInterface(IID_IXMLDOMElement, e.OutVoid()))) return false;
  Bstr n(name);
  Variant v;
  if (e->getAttribute(n.Get(), v.Out()) != S_OK || !v.Str()) return false;
  out = v.Str();
  return true;
}

// A decimal integer, 0 when missing or not a number.
uint32_t Number(IXMLDOMNode* node, const wchar_t* name) {
  std::wstring s;
  if (!Attribute(node, name, s)) return 0;
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == L'-' || s[i] == L'+')) negative = s[i++] == L'-';
  if (i >= s.size()) return 0;
  uint64_t n = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < L'0' || s[i] > L'9') return 0;
    n = n * 10 + static_cast<uint64_t>(s[i] - L'0');
    if (n > 0xFFFFFFFFull) return 0;
  }
  return negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(n)) : static_cast<uint32_t>(n);
}

// Document type declarations bring entities and external files; an export
// document has none. Nesting is bounded by a scan of the text itself.
TransferError CheckXmlText(const std::wstring& t) {
  int depth = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] != L'<') continue;
    if (t.compare(i, 4, L"<!--") == 0) {
      size_t e = t.find(L"-->", i + 4);
      if (e == std::wstring::npos) return TransferError::BadXml;
      i = e + 2;
      continue;
    }
    if (t.compare(i, 9, L"<![CDATA[") == 0) {
      size_t e = t.find(L"]]>", i + 9);
      if (e == std::wstring::npos) return TransferError::BadXml;
      i = e + 2;
      continue;
    }
    if (i + 1 < t.size() && t[i + 1] == L'!') return TransferError::Unsafe;
    if (i + 1 < t.size() && t[i + 1] == L'?') {
      size_t e = t.find(L"?>", i + 2);
      if (e == std::wstring::npos) return TransferError::BadXml;
      i = e + 1;
      continue;
    }
    if (i + 1 < t.size() && t[i + 1] == L'/') {
      --depth;
      continue;
    }
    // A start tag: find its end outside quoted values.
    wchar_t quote = 0;
    size_t j = i + 1;
    for (; j < t.size(); ++j) {
      if (quote) {
        if (t[j] == quote) quote = 0;
      } else if (t[j] == L'"' || t[j] == L'\'') {
        quote = t[j];
      } else if (t[j] == L'>') {
        break;
      }
    }
    if (j >= t.size()) return TransferError::BadXml;
    if (t[j - 1] != L'/' && ++depth > kMaxXmlDepth) return TransferError::TooDeep;
    i = j;
  }
  return TransferError::None;
}

TransferError ReadFileCapped(const wchar_t* path, std::string& bytes) {
  ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return TransferError::CannotRead;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.Get(), &size)) return TransferError::CannotRead;
  if (size.QuadPart > static_cast<LONGLONG>(kMaxImportBytes)) return TransferError::TooLarge;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  if (!bytes.empty() && !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
    return TransferError::CannotRead;
  bytes.resize(got);
  return TransferError::None;
}

HRESULT AppendElement(IXMLDOMDocument* doc, IXMLDOMNode* parent, const wchar_t* name, ComPtr<IXMLDOMElement>& out) {
  Bstr n(name);
  HRESULT hr = doc->createElement(n.Get(), out.Out());
  if (FAILED(hr)) return hr;
  ComPtr<IXMLDOMNode> added;
  return parent->appendChild(out.Get(), added.Out());
}

HRESULT SetText(IXMLDOMElement* e, const wchar_t* name, const std::wstring& value) {
  Bstr n(name);
  Variant v;
  Variant::Text(v, value);
  return e->setAttribute(n.Get(), v.Get());
}

}  // namespace

TransferError ImportXml(FilterRule& rule, const std::wstring& text, const ImportDefaults& defaults, size_t* added) {
  if (TransferError e = CheckXmlText(text); e != TransferError::None) return e;
  ScopedCoInit com;
  ComPtr<IXMLDOMDocument> doc;
  if (TransferError e = CreateDocument(doc); e != TransferError::None) return e;
  Bstr xml(text);
  VARIANT_BOOL ok = VARIANT_FALSE;
  if (FAILED(doc->loadXML(xml.Get(), &ok)) || ok != VARIANT_TRUE) return TransferError::BadXml;
  ComPtr<IXMLDOMElement> root;
  if (FAILED(doc->get_documentElement(root.Out())) || !root) return TransferError::BadXml;
  Bstr rootName;
  if (FAILED(root->get_tagName(rootName.Out())) || !rootName.Get() || wcscmp(rootName.Get(), L"pwardenfilters") != 0)
    return TransferError::BadXml;
  ComPtr<IXMLDOMNode> set;
  FirstChild(root.Get(), L"OR", set);
  size_t sets = 0, conditions = 0;
  for (; set && sets < kMaxImportSets && conditions < kMaxImportConditions; NextElement(set)) {
    ComPtr<IXMLDOMNode> c;
    FirstChild(set.Get(), L"AND", c);
    auto next = std::make_unique<ConditionSet>();
    std::wstring disable;
    if (Attribute(set.Get(), L"disable", disable)) next->disable = disable == L"1" ? 1 : 0;
    for (; c && conditions < kMaxImportConditions; NextElement(c)) {
      const uint32_t searchType = Number(c.Get(), L"searchType") & SearchType::KnownBits;
      // Only kinds that exist: an unknown one would never match anyway.
      if (!IsKnownSearchType(searchType)) continue;
      std::wstring field = defaults.field ? defaults.field : L"", substring;
      Attribute(c.Get(), L"field", field);
      Attribute(c.Get(), L"substring", substring);
      if (next->addCondition(field.c_str(), searchType, substring.c_str(), Number(c.Get(), L"size"))) ++conditions;
    }
    // Never an empty set: it would match every message.
    if (next->conditions.empty()) continue;
    rule.sets.push_back(std::move(next));
    ++sets;
  }
  if (added) *added = sets;
  return TransferError::None;
}

TransferError ImportConditionBytes(FilterRule& rule, const char* bytes, size_t length, const ImportDefaults& defaults,
                                   size_t* added) {
  if (added) *added = 0;
  if (length > kMaxImportBytes) return TransferError::TooLarge;
  std::wstring text;
  if (TransferError e = DecodeImportText(bytes, length, text); e != TransferError::None) return e;
  // A file that looks like XML is XML or nothing: a word list made of its
  // tags would match nearly every message.
  if (LooksLikeXml(text)) return ImportXml(rule, text, defaults, added);
  const size_t n = ImportWordList(rule, text, defaults);
  if (added) *added = n;
  return TransferError::None;
}

TransferError ImportConditions(FilterRule& rule, const wchar_t* path, const ImportDefaults& defaults, size_t* added) {
  if (added) *added = 0;
  std::string bytes;
  if (TransferError e = ReadFileCapped(path, bytes); e != TransferError::None) return e;
  return ImportConditionBytes(rule, bytes.data(), bytes.size(), defaults, added);
}

TransferError ExportConditions(const FilterRule& rule, const wchar_t* path) {
  if (!path || !*path) return TransferError::CannotWrite;
  ScopedCoInit com;
  ComPtr<IXMLDOMDocument> doc;
  if (TransferError e = CreateDocument(doc); e != TransferError::None) return e;
  Bstr target(L"xml"), data(L"version=\"1.0\" encoding=\"UTF-8\"");
  ComPtr<IXMLDOMProcessingInstruction> pi;
  ComPtr<IXMLDOMNode> added;
  if (FAILED(doc->createProcessingInstruction(target.Get(), data.Get(), pi.Out())) ||
      FAILED(doc->appendChild(pi.Get(), added.Out())))
    return TransferError::CannotWrite;
  ComPtr<IXMLDOMElement> root;
  if (FAILED(AppendElement(doc.Get(), doc.Get(), L"pwardenfilters", root))) return TransferError::CannotWrite;
  for (const auto& set : rule.sets) {
    ComPtr<IXMLDOMElement> orNode;
    if (FAILED(AppendElement(doc.Get(), root.Get(), L"OR", orNode))) return TransferError::CannotWrite;
    // Older readers ignore the attribute; ours keeps a disabled set disabled.
    SetText(orNode.Get(), L"disable", set->disable ? L"1" : L"0");
    if (set->dnsbl) continue;  // a black-list set is written as an empty OR
    for (const Condition& c : set->conditions) {
      ComPtr<IXMLDOMElement> andNode;
      if (FAILED(AppendElement(doc.Get(), orNode.Get(), L"AND", andNode)) ||
          FAILED(SetText(andNode.Get(), L"searchType", std::to_wstring(c.searchType))) ||
          FAILED(SetText(andNode.Get(), L"field", XmlSafe(c.field))) ||
          FAILED(SetText(andNode.Get(), L"substring", XmlSafe(c.substring))) ||
          FAILED(SetText(andNode.Get(), L"size", std::to_wstring(c.size))))
        return TransferError::CannotWrite;
    }
  }
  // Written beside the target and renamed over it: a failure leaves an
  // existing file as it was.
  const std::wstring temp = std::wstring(path) + L".tmp" + std::to_wstring(GetCurrentThreadId());
  Variant dest;
  Variant::Text(dest, temp);
  if (FAILED(doc->save(dest.Get()))) {
    DeleteFileW(temp.c_str());
    return TransferError::CannotWrite;
  }
  if (!MoveFileExW(temp.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temp.c_str());
    return TransferError::CannotWrite;
  }
  return TransferError::None;
}

}  // namespace pw
