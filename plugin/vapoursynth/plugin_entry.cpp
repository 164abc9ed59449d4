// The VapourSynth module's one export: registers quillfen.Quillfen when the
// host loads the module. Loading runs nothing else.
#include <VapourSynth4.h>

#include "filter/quillfen_version.h"
#include "plugin/vapoursynth/quillfen_node.h"

namespace quillfen {

VS_EXTERNAL_API(void) VapourSynthPluginInit2(VSPlugin* plugin, const VSPLUGINAPI* vspapi) {
  vspapi->configPlugin("org.quillfen.quillfen", "quillfen", kQuillfenVersionText,
                       VS_MAKE_VERSION(kQuillfenVersionMajor, kQuillfenVersionMinor), VAPOURSYNTH_API_VERSION, 0,
                       plugin);
  vspapi->registerFunction(kQuillfenFunctionName, kVapourSynthQuillfenArguments.data(), kVapourSynthQuillfenReturn,
                           create_vapoursynth_quillfen, nullptr, plugin);
}

}  // namespace quillfen
