// How a host learns the passes each frame got. The plugin interface has no
// place for figures that come with a frame, so a host that wants them
// registers a function of this name taking one int before it builds the
// filter. The filter looks for it once, when it is built, and calls it
// with the number of passes it ran for each frame it makes. Under a host
// without the function the filter reports nothing.
#pragma once

inline constexpr char kPassReportFunction[] = "QuillfenPassReport";
inline constexpr char kPassReportSignature[] = "i";
