// Base64 of RFC 4648 (standard alphabet, "=" padding, no line breaks), for
// SMTP authentication, proxy credentials and the header and MIME decoders.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pw {

class Base64Coder {
 public:
  // Results are NUL-terminated; buffers grow in steps of 4096 bytes.
  bool Encode(const void* bytes, size_t length);
  bool EncodeString(const char* text);
  // Never fails: control bytes 7-13 and blanks are skipped, a short last
  // group decodes as if zero-filled. The output length counts whole bytes
  // only: "==" ends one byte short, "=" two, "QQ" gives one byte.
  void Decode(const void* bytes, size_t length);
  void DecodeString(const char* text);
  // The same decoding into a string of its own, without the coder's
  // buffers: for decoders that run once per encoded word.
  static void DecodeTo(const void* bytes, size_t length, std::string& out);
  // The same into `out`, which has room for DecodedRoom(length) bytes;
  // returns the decoded length.
  static size_t DecodeInto(const void* bytes, size_t length, char* out);
  static size_t DecodedRoom(size_t length) { return length / 4 * 3 + 3; }

  const char* GetOutput() const { return output_.empty() ? "" : output_.data(); }
  size_t GetOutputLength() const { return outputLength_; }

 private:
  static void Reserve(std::vector<char>& buffer, size_t needed);

  std::vector<char> output_;
  std::vector<char> input_;
  size_t outputLength_ = 0;
  size_t inputLength_ = 0;
};

}  // namespace pw
