// Header values to readable text: RFC 2047 encoded words (B and Q), the
// message's charset for plain text, unfolding; and the Q encoder for
// outgoing replies.
#pragma once

#include <cstddef>
#include <string>

#include "base/GrowBuffer.h"
#include "mime/Charset.h"

namespace pw {

// Decodes the values of one header block. Keeps the charset routes it has
// found and its buffers from one value to the next, so that a block's many
// values cost no repeated look-ups.
class ValueDecoder {
 public:
  // `defaultCharset` (null or empty: the ANSI code page) converts plain text.
  explicit ValueDecoder(const wchar_t* defaultCharset);
  // Appends the decoded value to `out` (a std::wstring or a WideBuffer).
  // The value may lie in a longer buffer whose bytes up to `readable` may
  // be read (scans then go sixteen bytes at a time to the value's end).
  template <typename Out>
  void Decode(const char* raw, size_t length, Out& out, const char* readable = nullptr);

 private:
  template <typename Out>
  void AppendPlain(const char* p, const char* end, Out& out);
  // The route of a charset name; the bytes up to `readable` may be read.
  const CharsetRoute& WordRoute(const char* name, size_t length, const char* readable);
  const char* FindClose(const char* from, const char* end);
  // Converts the bytes of the encoded words read so far.
  template <typename Out>
  void Flush(Out& out);

  struct KnownName {
    unsigned char key[16];
    const char* name = nullptr;  // in the values being decoded (the block outlives the decoder); null: unused
    size_t length = 0;
    CharsetRoute route;
  };
  static constexpr size_t kKnownNames = 16;
  CharsetRoute default_;
  bool defaultKeepsAscii_;
  KnownName known_[kKnownNames];
  // Encoded words are at most 75 characters (RFC 2047): their bytes fit.
  using WordBytes = GrowBuffer<char, 256>;
  WordBytes bytes_;
  // Decoded bytes of adjacent words of one charset, not yet converted.
  WordBytes pending_;
  const char* pendingName_ = nullptr;
  size_t pendingLength_ = 0;
  const char* readable_ = nullptr;
  const char* closeFrom_ = nullptr;
  const char* close_ = nullptr;
};

// Decodes a raw field value with `defaultCharset` (null or empty: the ANSI
// code page) for its plain text.
std::wstring decodeValue(const char* raw, size_t length, const wchar_t* defaultCharset);
// "=?charset?Q?...?=" for `text` in `charset`; always encoded.
std::wstring encodeWord(const wchar_t* text, const wchar_t* charset);

// Base64 bytes without the zero bytes the coder writes for "=" padding.
// Reads exactly as the Base64 coder of the transport does (blanks and
// control bytes 7-13 skipped, letters with the top bit set read as without
// it, a short last group zero-filled), without its 4 KiB buffers.
std::string decodeBase64(const char* text, size_t length);
void decodeBase64(const char* text, size_t length, std::string& out);

// Removes CR and LF: the white space that begins a continuation line stays.
std::string unfold(const char* text, size_t length);
void unfold(const char* text, size_t length, std::string& out);

}  // namespace pw
