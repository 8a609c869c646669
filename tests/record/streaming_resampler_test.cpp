// The mixer's batch-by-batch rate conversion gives what one conversion of the
// whole stream gives, whatever the batch sizes and however the input trickles
// into the ring.
#include "record/streaming_resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "record/pacing.h"

namespace vesk {
namespace {

TEST(StreamingResamplerTest, BatchesWithCarryOverEqualOneWholeConversion) {
  for (const double step : {1.0, 44100.0 / 48000.0, 0.5, 0.91875 * 1.005}) {
    for (const int channels : {1, 2}) {
      SCOPED_TRACE(testing::Message() << "step " << step << ", channels " << channels);
      const int64_t outFrames = 20000;
      const int64_t inFrames = InputFramesNeeded(outFrames, step, 0);
      std::vector<float> input(size_t(inFrames * channels));
      for (size_t i = 0; i < input.size(); ++i) input[i] = float(std::sin(double(i) * 0.01)) * 0.5f;
      std::vector<float> main(size_t(outFrames * channels), 0.125f);
      std::vector<float> whole(main.size());
      ResampleMix(main.data(), input.data(), step, 0, outFrames, channels, whole.data());

      SampleRing ring;
      ring.Reset(input.size() + 16);
      ring.Configure(nullptr, 0, uint32_t(channels));
      StreamingResampler resampler;
      resampler.Reset(step, channels, kMaxBatchFrames);
      std::vector<float> out(main.size());
      const int64_t sizes[] = {1, 480, 7, 8192, 1000, 333};
      int64_t done = 0, fed = 0;
      for (size_t b = 0; done < outFrames; ++b) {
        const int64_t n = std::min({sizes[b % 6], outFrames - done, resampler.OutputCapacity()});
        // Only what this batch needs arrives, in 100-frame packets.
        const int64_t need = InputFramesNeeded(n, resampler.Step(), resampler.Phase()) - resampler.Pending();
        while (int64_t(ring.Available()) / channels < need && fed < inFrames) {
          const int64_t count = std::min<int64_t>(100, inFrames - fed);
          ring.Write(input.data() + fed * channels, size_t(count * channels), 0);
          fed += count;
        }
        resampler.Process(main.data() + done * channels, n, ring, out.data() + done * channels);
        done += n;
      }
      for (size_t i = 0; i < out.size(); ++i) ASSERT_NEAR(out[i], whole[i], 2e-6f) << i;
    }
  }
}

}  // namespace
}  // namespace vesk
