#include "net/Base64Coder.h"

#include <cstdint>
#include <cstring>

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

void Base64Coder::Decode(const void* bytes, size_t length) {
  const auto* in = static_cast<const uint8_t*>(bytes);
  Reserve(input_, length + 1);
  size_t n = 0;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t c = in[i];
    if ((c >= 7 && c <= 13) || c == ' ') continue;
    input_[n++] = static_cast<char>(c);
  }
  inputLength_ = n;
  const size_t groups = n / 4;
  const size_t rest = n % 4;
  Reserve(output_, groups * 3 + 3 + 1);
  const uint8_t* table = Table().value;
  auto valueAt = [&](size_t pos, bool padAllowed) -> uint32_t {
    if (pos >= n) return 0;
    const uint8_t v = table[static_cast<uint8_t>(input_[pos])];
    if (v == kPad) return padAllowed ? 0 : kUnmapped;
    return v;
  };
  size_t o = 0;
  for (size_t g = 0; g <= groups; ++g) {
    const size_t base = g * 4;
    const bool last = g == groups;
    if (last && rest == 0) break;
    // "=" stands for zero bits in the last two places and in a short last group.
    const uint32_t a = valueAt(base, last), b = valueAt(base + 1, last);
    const uint32_t c = valueAt(base + 2, true), d = valueAt(base + 3, true);
    const uint8_t decoded[3] = {static_cast<uint8_t>(a << 2 | b >> 4), static_cast<uint8_t>(b << 4 | c >> 2),
                                static_cast<uint8_t>(c << 6 | d)};
    for (size_t k = 0; k < 3; ++k) output_[o++] = static_cast<char>(decoded[k]);
  }
  // Only whole bytes count: "=" and the bits of a short last group stand
  // for no byte, so binary data (attachments) keeps its exact length.
  const size_t lastGroup = rest ? rest : (n ? 4 : 0);
  size_t pads = 0;
  while (pads < 2 && pads < lastGroup && table[static_cast<uint8_t>(input_[n - 1 - pads])] == kPad) ++pads;
  const size_t lastBytes = (lastGroup - pads) * 6 / 8;
  outputLength_ = n ? (n - lastGroup) / 4 * 3 + lastBytes : 0;
  memset(output_.data() + outputLength_, 0, o - outputLength_);
}

void Base64Coder::DecodeString(const char* text) { Decode(text, text ? strlen(text) : 0); }

}  // namespace pw
