// Base64 encoding (RFC 2045 alphabet, "=" padding, no line breaks).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

std::string Base64Encode(const uint8_t* data, size_t size);
