// How the 2.5 module learns that the AviSynth+ module serves the same
// script environment: both register "Quillfen", and AviSynth+ hands a call
// to the one loaded last, so a LoadPlugin of the 2.5 module would silently
// take over the calls that the AviSynth+ module serves better (every
// format, frame properties, the command's bytes).
#pragma once

namespace quillfen {

// The global variable the AviSynth+ module sets to true on loading. A name in dollar signs, as AviSynth+ names its own, is out of reach
// of scripts.
inline constexpr char kAvisynthPlusModuleMark[] = "$QuillfenAviSynthPlusModule$";

}  // namespace quillfen
