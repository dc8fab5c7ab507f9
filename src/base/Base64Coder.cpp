#include "base/Base64Coder.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace pw {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kUnmapped = 254;
constexpr uint8_t kPad = 255;

struct DecodeTable {
  uint8_t value[256];
  DecodeTable() {
    memset(value, kUnmapped, sizeof(value));
    for (int i = 0; i < 64; ++i) {
      const uint8_t c = static_cast<uint8_t>(kAlphabet[i]);
      value[c] = static_cast<uint8_t>(i);
      value[c | 0x80] = static_cast<uint8_t>(i);  // seven-bit gateways set the top bit
    }
    value['='] = kPad;
    value['=' | 0x80] = kPad;
  }
};

const DecodeTable& Table() {
  static const DecodeTable table;
  return table;
}

}  // namespace

void Base64Coder::Reserve(std::vector<char>& buffer, size_t needed) {
  const size_t size = (needed + 4095) / 4096 * 4096;
  if (buffer.size() < size) buffer.resize(size);
  memset(buffer.data(), 0, buffer.size());
}

bool Base64Coder::Encode(const void* bytes, size_t length) {
  const auto* in = static_cast<const uint8_t*>(bytes);
  Reserve(input_, length + 1);
  if (length) memcpy(input_.data(), in, length);
  inputLength_ = length;
  Reserve(output_, (length + 2) / 3 * 4 + 1);
  char* out = output_.data();
  size_t o = 0;
  size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    const uint32_t v = in[i] << 16 | in[i + 1] << 8 | in[i + 2];
    out[o++] = kAlphabet[v >> 18 & 63];
    out[o++] = kAlphabet[v >> 12 & 63];
    out[o++] = kAlphabet[v >> 6 & 63];
    out[o++] = kAlphabet[v & 63];
  }
  if (length - i == 1) {
    const uint32_t v = in[i] << 16;
    out[o++] = kAlphabet[v >> 18 & 63];
    out[o++] = kAlphabet[v >> 12 & 63];
    out[o++] = '=';
    out[o++] = '=';
  } else if (length - i == 2) {
    const uint32_t v = in[i] << 16 | in[i + 1] << 8;
    out[o++] = kAlphabet[v >> 18 & 63];
    out[o++] = kAlphabet[v >> 12 & 63];
    out[o++] = kAlphabet[v >> 6 & 63];
    out[o++] = '=';
  }
  outputLength_ = o;
  return true;
}

bool Base64Coder::EncodeString(const char* text) { return Encode(text, text ? strlen(text) : 0); }

namespace {

// A group of four: "=" is zero bits in the last two places, and anywhere in
// a short last group; elsewhere it reads as an unmapped byte, whose table
// value enters the arithmetic as it is.
inline char* DecodeGroup(const uint8_t* table, const uint8_t (&in)[4], bool last, char* out) {
  uint32_t v[4];
  for (size_t k = 0; k < 4; ++k) {
    const uint8_t x = table[in[k]];
    v[k] = x == kPad ? (last || k >= 2 ? 0 : kUnmapped) : x;
  }
  *out++ = static_cast<char>(static_cast<uint8_t>(v[0] << 2 | v[1] >> 4));
  *out++ = static_cast<char>(static_cast<uint8_t>(v[1] << 4 | v[2] >> 2));
  *out++ = static_cast<char>(static_cast<uint8_t>(v[2] << 6 | v[3]));
  return out;
}

}  // namespace

void Base64Coder::DecodeTo(const void* bytes, size_t length, std::string& out) {
  out.resize(DecodedRoom(length));
  out.resize(DecodeInto(bytes, length, out.data()));
}

size_t Base64Coder::DecodeInto(const void* bytes, size_t length, char* const out) {
  const auto* in = static_cast<const uint8_t*>(bytes);
  const uint8_t* table = Table().value;
  char* o = out;  // room for every group, a short last one included
  size_t i = 0;
  // Whole groups without blanks, line breaks or "=", the usual case, at once.
  for (; i + 4 <= length; i += 4) {
    const uint8_t a = table[in[i]], b = table[in[i + 1]], c = table[in[i + 2]], d = table[in[i + 3]];
    if ((a | b | c | d) >= 64) break;
    const uint32_t v = uint32_t(a) << 18 | uint32_t(b) << 12 | uint32_t(c) << 6 | d;
    *o++ = static_cast<char>(v >> 16);
    *o++ = static_cast<char>(v >> 8);
    *o++ = static_cast<char>(v);
  }
  uint8_t group[4];
  size_t n = 0;
  for (; i < length; ++i) {
    const uint8_t c = in[i];
    if ((c >= 7 && c <= 13) || c == ' ') continue;
    group[n++] = c;
    if (n == 4) {
      // Complete groups decode in full here; padding is taken off below.
      o = DecodeGroup(table, group, false, o);
      n = 0;
    }
  }
  size_t lastGroup = 4;  // characters of the last group
  if (n > 0) {
    lastGroup = n;
    for (size_t k = n; k < 4; ++k) group[k] = 'A';  // places past the end are zero bits
    o = DecodeGroup(table, group, true, o);
  }
  size_t size = static_cast<size_t>(o - out);
  if (size > 0) {
    // Only whole bytes count: "=" and the bits of a short last group stand
    // for no byte, so binary data (attachments) keeps its exact length.
    size_t pads = 0;
    for (size_t j = length; j > 0 && pads < 2 && pads < lastGroup;) {
      const uint8_t c = in[--j];
      if ((c >= 7 && c <= 13) || c == ' ') continue;
      if (table[c] != kPad) break;
      ++pads;
    }
    size = size - 3 + (lastGroup - pads) * 6 / 8;
  }
  return size;
}

void Base64Coder::Decode(const void* bytes, size_t length) {
  Reserve(input_, length + 1);
  if (length) memcpy(input_.data(), bytes, length);
  inputLength_ = length;
  std::string decoded;
  DecodeTo(bytes, length, decoded);
  Reserve(output_, decoded.size() + 1);
  if (!decoded.empty()) memcpy(output_.data(), decoded.data(), decoded.size());
  outputLength_ = decoded.size();
}

void Base64Coder::DecodeString(const char* text) { Decode(text, text ? strlen(text) : 0); }

}  // namespace pw
