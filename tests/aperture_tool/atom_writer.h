#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

// Builds QuickTime atoms as byte strings, big-endian as on disk.
namespace halvaris::aperture::testing {

inline std::string Word(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

// An atom with a 32-bit size.
inline std::string Atom(const std::string& type, const std::string& payload) {
  return Word(static_cast<uint32_t>(8 + payload.size())) + type + payload;
}

// An atom with size 1 and a 64-bit extended size; `declaredPayload` may differ from the
// bytes that follow, for atoms whose payload is left out (media data) or is malformed.
inline std::string WideAtomHeader(const std::string& type, uint64_t declaredPayload) {
  uint64_t extendedSize = declaredPayload + 16;
  return Word(1) + type + Word(static_cast<uint32_t>(extendedSize >> 32)) +
         Word(static_cast<uint32_t>(extendedSize));
}

inline std::string WideAtom(const std::string& type, const std::string& payload) {
  return WideAtomHeader(type, payload.size()) + payload;
}

// A zero size word: 4 bytes of filler, not an atom.
inline std::string Filler() {
  return std::string(4, '\0');
}

inline std::string Fixed(uint32_t whole) {
  return Word(whole << 16);
}

// The 60-byte payload of a "tapt" atom. Every `id` gives different aperture values, so a test
// can find each payload in a file by its bytes.
inline std::string AperturePayload(uint32_t id) {
  const std::string flags = Word(0);
  return Atom("clef", flags + Fixed(1000 + id) + Fixed(500 + id)) +
         Atom("prof", flags + Fixed(1920 + id) + Fixed(1080 + id)) +
         Atom("enof", flags + Fixed(1900 + id) + Fixed(1070 + id));
}

inline std::string Tapt(uint32_t id) {
  return Atom("tapt", AperturePayload(id));
}

inline std::string Concat(std::initializer_list<std::string> parts) {
  std::string all;
  for (const std::string& part : parts) all += part;
  return all;
}

// Offset of the payload of aperture atom `id` in `file`, found by its first 40 bytes (the
// fields that the rewrite uses), so that payloads cut after them are found too.
inline std::size_t PayloadOffset(const std::string& file, uint32_t id) {
  return file.find(AperturePayload(id).substr(0, 40));
}

// What `file` must look like once the apertures of the atoms `ids` have been rewritten:
// payload bytes 32-39 copied over bytes 12-19, nothing else changed.
inline std::string Rewritten(std::string file, std::initializer_list<uint32_t> ids) {
  for (uint32_t id : ids) {
    std::size_t payload = PayloadOffset(file, id);
    if (payload == std::string::npos) return "aperture atom " + std::to_string(id) + " missing";
    file.replace(payload + 12, 8, file, payload + 32, 8);
  }
  return file;
}

}  // namespace halvaris::aperture::testing
