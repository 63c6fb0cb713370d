// libhalvaris for C++: an owner of a decoder handle, so that every path out of a scope destroys
// the decoders it made. Header-only over the C interface of halvaris.h: it adds nothing to the
// library's exports and works with the static and the shared library alike.
#ifndef HALVARIS_HPP
#define HALVARIS_HPP

#include <memory>

#include "halvaris/halvaris.h"

namespace halvaris {

struct DecoderDestroyer {
  void operator()(HalvarisDecoder* decoder) const noexcept { halvaris_decoder_destroy(decoder); }
};

// Owns one HalvarisDecoder; empty when none was made.
using UniqueDecoder = std::unique_ptr<HalvarisDecoder, DecoderDestroyer>;

// Makes a decoder with `settings` (NULL: the defaults) into `decoder`. Returns the result of
// halvaris_decoder_create; `decoder` is left empty on failure.
inline int CreateDecoder(const HalvarisSettings* settings, UniqueDecoder& decoder) {
  HalvarisDecoder* created = nullptr;
  const int result = halvaris_decoder_create(settings, &created);
  decoder.reset(result == HALVARIS_OK ? created : nullptr);
  return result;
}

}  // namespace halvaris

#endif  // HALVARIS_HPP
