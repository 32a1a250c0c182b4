#pragma once

// One hexadecimal digit, as every decoder of escaped text in the program and its engine reads it.
namespace pelmora::text {

// The value of one hexadecimal digit of either case, or -1 for any other character.
constexpr int hex_digit_value(char32_t c) {
  if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
  if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A' + 10);
  if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a' + 10);
  return -1;
}

}  // namespace pelmora::text
