#pragma once
// Runs a whole-buffer effect (the noise reduction) over audio of any length
// in bounded memory. Audio that fits the spill limit is rendered as one
// buffer. Longer audio is cut into stretches; each is rendered together with
// a few seconds before it (the effect settles) and a second after it (the
// effect sees what follows), and its output is cross-faded into the next
// stretch's at the seam and written to a spill file, which the result then
// reads from. The stretches depend only on the length, the rate and the
// limit, so two renders of the same audio are identical.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "doc/sample_store.h"

namespace vesk {

// Renders a buffer of interleaved frames in place, keeping its length.
using BufferRender = std::function<bool(std::vector<float>& samples, std::string& error)>;
// After each stretch: frames done of the total. False stops the render.
using RenderProgress = std::function<bool(uint64_t done, uint64_t total)>;

struct StretchPlan {
  uint64_t stretch = 0;  // frames kept from each render; 0: one buffer
  uint64_t lead = 0;     // frames rendered before a stretch and dropped
  uint64_t tail = 0;     // frames rendered after it (at least the fade)
  uint64_t fade = 0;     // the seam's cross-fade
};

StretchPlan PlanStretches(uint64_t frames, size_t channels, uint32_t rate, uint64_t limitBytes);

// Renders all of `in` into `out` (same length and channels). False with the
// user's text, or with an empty text when `progress` stopped it.
bool RenderInStretches(const SampleSource& in, uint32_t rate, uint64_t limitBytes, const BufferRender& render,
                       SampleSequence& out, std::string& error, const RenderProgress& progress = {});

// ResampleAudio over all of `in` (1 or 2 channels). Audio within the limit
// is one buffer as before; longer audio is interpolated as it is read and
// written to a spill file.
bool ResampleLong(const SampleSource& in, uint32_t sourceRate, uint32_t targetRate, uint64_t limitBytes,
                  SampleSequence& out, std::string& error);

}  // namespace vesk
