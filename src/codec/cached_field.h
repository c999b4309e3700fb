#pragma once

#include <cstdint>
#include <optional>

#include "codec/codec_fields.h"
#include "link/register_cache.h"

namespace tonvisor {

// Bits of a register a control shows: a field of the table, or bits no single field
// operation sets (the DAC volume's left channel, the headphone mute).
struct FieldPlace {
  std::uint16_t address = 0;
  std::uint16_t mask = 0;
  int lowBit = 0;
  std::uint16_t copies = 0;  // a pair of bits that move together (see FieldBits)

  static constexpr FieldPlace Of(const CodecField& field) {
    return {field.address, field.mask(), field.bits.copies != 0 ? 0 : field.bits.lowBit, field.bits.copies};
  }
  // The code in a register value. A pair of bits reads 1 when either is set (one channel muted
  // is not unmuted).
  constexpr int codeIn(std::uint16_t value) const {
    if (copies != 0) return (value & copies) != 0 ? 1 : 0;
    return (value & mask) >> lowBit;
  }
};

// A field as the link's cache knows it: its code, or nothing while its register is unknown;
// lost when an access failed and left it unknown.
struct CachedField {
  std::optional<int> code;
  bool lost = false;
};

inline CachedField FieldInCache(const RegisterCache& cache, const FieldPlace& place) {
  const CachedRegister* cached = cache.find(place.address);
  if (cached == nullptr) return {};
  CachedField field;
  field.lost = cached->lost;
  if (cached->value) field.code = place.codeIn(*cached->value);
  return field;
}

}  // namespace tonvisor
