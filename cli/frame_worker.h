// What one worker filters frames with: the direct filter, over the Y4M
// planes, for every format; or, with --plugin, the given module's filter
// chain over host frames for the formats the AviSynth 2.5 interface carries
// (8-bit 4:2:2 and 4:2:0).
#pragma once

#include <memory>
#include <optional>
#include <variant>

#include "cli/command_line.h"
#include "cli/direct_filter.h"
#include "cli/filter_chain.h"
#include "y4m/y4m_header.h"

namespace quillfen::cli {

using FrameWorker = std::variant<std::unique_ptr<FilterChain>, std::unique_ptr<DirectFilter>>;

// A worker for the stream, with the options' plugin and filter arguments.
// `num_frames` is the stream's length where known, else the largest int.
// Throws CommandError with the line to print.
FrameWorker make_frame_worker(const CommandOptions& options, const y4m::Y4mHeader& header, int num_frames);

// Filters frame n, whose Y4M planes are at `planes`, in place; returns the
// passes where the worker knows them. Throws CommandError with the line to print.
std::optional<int> filter_frame_in_place(FrameWorker& worker, const y4m::Y4mHeader& header, int n, BYTE* planes);

}  // namespace quillfen::cli
