// Full Unicode upper-casing for adapter-name matching.

#include <locale.h>
#include <wctype.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "device/hardware_profile.hpp"

namespace trelliken {

namespace {

// Characters whose upper case is more than one character (unconditional special casing).
constexpr std::pair<char32_t, std::u32string_view> kSpecialUpper[] = {
    {U'\u00DF', U"SS"},           {U'\u0149', U"\u02BCN"},      {U'\u01F0', U"J\u030C"},
    {U'\u0390', U"\u0399\u0308\u0301"}, {U'\u03B0', U"\u03A5\u0308\u0301"}, {U'\u0587', U"\u0535\u0552"},
    {U'\u1E96', U"H\u0331"},      {U'\u1E97', U"T\u0308"},      {U'\u1E98', U"W\u030A"},
    {U'\u1E99', U"Y\u030A"},      {U'\u1E9A', U"A\u02BE"},      {U'\uFB00', U"FF"},
    {U'\uFB01', U"FI"},           {U'\uFB02', U"FL"},           {U'\uFB03', U"FFI"},
    {U'\uFB04', U"FFL"},          {U'\uFB05', U"ST"},           {U'\uFB06', U"ST"},
    {U'\uFB13', U"\u0544\u0546"}, {U'\uFB14', U"\u0544\u0535"}, {U'\uFB15', U"\u0544\u053B"},
    {U'\uFB16', U"\u054E\u0546"}, {U'\uFB17', U"\u0544\u053D"},
};

locale_t utf8_locale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return loc;
}

char32_t simple_upper(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (locale_t loc = utf8_locale()) return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), loc));
  return c;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one UTF-8 sequence at `i`; returns its length, 0 when the bytes are not valid UTF-8.
std::size_t decode(std::string_view s, std::size_t i, char32_t& c) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  std::size_t len = 0;
  char32_t min = 0;
  if (b0 < 0x80) {
    c = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, c = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, c = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, c = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::string to_upper_unicode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const std::size_t len = decode(text, i, c);
    if (len == 0) {
      out += text[i++];
      continue;
    }
    i += len;
    bool special = false;
    for (const auto& [from, to] : kSpecialUpper) {
      if (from == c) {
        for (char32_t u : to) append_utf8(out, u);
        special = true;
        break;
      }
    }
    if (!special) append_utf8(out, simple_upper(c));
  }
  return out;
}

}  // namespace trelliken
