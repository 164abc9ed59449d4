// The argument signature of the script function "Quillfen" in AviSynth's
// syntax, as both AviSynth bindings register it: the 2.5 module and the
// C-interface module.
#pragma once

#include "filter/compile_time_text.h"
#include "filter/quillfen_parameters.h"

namespace quillfen {

// The clip, then each parameter as an optional named argument, "[name]"
// followed by its kind.
constexpr void spell_avisynth_signature(TextSpeller& text) {
  text("c");
  for (const QuillfenParameter& parameter : kQuillfenParameters) {
    text("[");
    text(parameter.name);
    text("]");
    text(parameter.flag ? "b" : "i");
  }
}
inline constexpr auto kQuillfenSignature = spelled_text<spell_avisynth_signature>();

}  // namespace quillfen
