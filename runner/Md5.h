// MD5 message digest (RFC 1321). Used only to check the settings digest of
// "system2.properties"; not for anything that needs collision resistance.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using TMd5Digest = std::array<uint8_t, 16>;

class TMd5 {
 public:
  TMd5();
  void Update(const void* data, size_t size);
  // Pads, appends the bit length and returns the digest. The object must not be used
  // afterwards except through a fresh TMd5.
  TMd5Digest Final();

 private:
  void Transform(const uint8_t block[64]);

  uint32_t state_[4];
  uint64_t length_ = 0;  // bytes seen
  uint8_t buffer_[64];
};

// Digest of `data`, one byte per character.
TMd5Digest Md5(const std::string& data);
