// The --plugin road: frames filtered by the given AviSynth 2.5 module,
// loaded into the command's embedded frame server, for the formats the 2.5
// interface carries (8-bit 4:2:2 as YUY2 and 4:2:0 as YV12). This and
// plugin_worker.cpp are all the command knows of the server and of host
// frames.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/frame_worker.h"
#include "y4m/y4m_header.h"

namespace quillfen::cli {

// Whether host frames carry the stream, so that --plugin applies to it.
bool plugin_takes(const y4m::Y4mHeader& header);

// The version text of the module at `path`. Throws CommandError with one
// line naming the module when it cannot be loaded or has no Quillfen
// function.
std::string plugin_version(const std::string& path);

// A worker with its own script environment, the module loaded into it, a
// source clip fed with the frames the worker is given, the clip that one
// "Quillfen" call built over it with the text arguments, and the host
// frames its frames pass through. Throws CommandError with the line to
// print (the filter's own message exactly; a usage error for arguments the
// function or the filter refuse) when the module, the arguments or the
// filter refuse. The 2.5 interface carries no figures with a frame, so the
// worker's frames come without their passes; nor can it cut a frame short,
// so stop() leaves a frame the module is filtering to end.
std::unique_ptr<FrameWorker> make_plugin_worker(const std::string& path, const y4m::Y4mHeader& header,
                                                int num_frames,
                                                const std::vector<std::pair<std::string, std::string>>& arguments);

}  // namespace quillfen::cli
