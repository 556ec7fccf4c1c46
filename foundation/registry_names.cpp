#include "foundation/registry_names.h"

#include <algorithm>

#include "foundation/utf.h"

namespace {

bool Even(char32_t c) { return c % 2 == 0; }

char32_t LowerLetter(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0xC0) return c;
  if (c <= 0xDE) return c == 0xD7 ? c : c + 32;  // Latin-1, not the multiplication sign
  // Latin Extended-A pairs; U+0130 (capital I with dot) has no one-letter lower form.
  if (c >= 0x100 && c <= 0x137) return Even(c) && c != 0x130 ? c + 1 : c;
  if (c >= 0x139 && c <= 0x148) return Even(c) ? c : c + 1;
  if (c >= 0x14A && c <= 0x177) return Even(c) ? c + 1 : c;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return Even(c) ? c : c + 1;
  // Greek.
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 37;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 63;
  if (c >= 0x391 && c <= 0x3A9) return c == 0x3A2 ? c : c + 32;
  // Cyrillic.
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF)) return Even(c) ? c + 1 : c;
  return c;
}

}  // namespace

std::string FoldRegistryName(std::string_view name) {
  bool ascii = true;
  for (const char c : name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    std::string folded(name);
    for (char& c : folded) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return folded;
  }
  std::wstring wide = Utf8ToWide(name);
  for (wchar_t& c : wide) c = static_cast<wchar_t>(LowerLetter(static_cast<char32_t>(c)));
  return WideToUtf8(wide);
}

bool RegistryNamesEqual(std::string_view a, std::string_view b) {
  return a == b || FoldRegistryName(a) == FoldRegistryName(b);
}

bool IsRegistryText(std::string_view text) {
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7F) return false;
  }
  // Valid UTF-8 survives the round trip unchanged; anything ill-formed turns
  // into U+FFFD on the way.
  return WideToUtf8(Utf8ToWide(text)) == text;
}

std::size_t RegistryUtf16Length(std::string_view text) { return Utf8ToUtf16(text).size(); }

bool SplitRegistryPath(std::string_view path, bool for_creation, std::vector<std::string>* names) {
  names->clear();
  if (path.empty()) return true;
  if (path.back() == '\\') path.remove_suffix(1);
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(path.find('\\', start), path.size());
    const std::string_view name = path.substr(start, end - start);
    if (name.empty() || !IsRegistryText(name)) return false;
    if (for_creation && RegistryUtf16Length(name) > REGISTRY_MAX_KEY_NAME) return false;
    names->emplace_back(name);
    if (end == path.size()) return true;
    start = end + 1;
  }
}

std::string JoinRegistryPath(const std::vector<std::string>& names) {
  std::string path;
  for (const std::string& name : names) {
    if (!path.empty()) path += '\\';
    path += name;
  }
  return path;
}
