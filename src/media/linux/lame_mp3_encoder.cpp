// MP3 encoding through libmp3lame, offering the standard MPEG Layer III
// constant-bit-rate types.
#include <lame/lame.h>

#include "media/mp3_encoder.h"
#include "media/mp3_output_type.h"
#include "platform/text.h"

namespace vesk {
namespace {

class LameMp3Encoder final : public Mp3Encoder {
 public:
  LameMp3Encoder() : types_(StandardMp3OutputTypes()) {}
  ~LameMp3Encoder() override {
    if (lame_) lame_close(lame_);
  }
  LameMp3Encoder(const LameMp3Encoder&) = delete;
  LameMp3Encoder& operator=(const LameMp3Encoder&) = delete;

  std::vector<Mp3OutputType> OutputTypes() override { return types_; }

  bool SetOutputType(size_t index, std::string& error) override {
    if (index >= types_.size()) {
      error = "设置 MP3 输出格式被拒绝（HRESULT 0x80070057）";
      return false;
    }
    type_ = types_[index];
    return true;
  }

  bool SetInputType(std::string& error) override {
    if (lame_) lame_close(lame_);
    lame_ = lame_init();
    if (!lame_) {
      error = "MP3 编码器没有给出可用的输入格式。";
      return false;
    }
    lame_set_in_samplerate(lame_, int(type_.sampleRate));
    lame_set_out_samplerate(lame_, int(type_.sampleRate));
    lame_set_num_channels(lame_, type_.channels);
    lame_set_mode(lame_, type_.channels == 1 ? MONO : JOINT_STEREO);
    lame_set_VBR(lame_, vbr_off);
    lame_set_brate(lame_, Mp3TypeKbps(type_));
    lame_set_quality(lame_, 2);
    // Raw frames only: no Xing/LAME info frame, no ID3 tags.
    lame_set_bWriteVbrTag(lame_, 0);
    lame_set_write_id3tag_automatic(lame_, 0);
    const int rc = lame_init_params(lame_);
    if (rc < 0) {
      error = Format("设置 MP3 输入格式被拒绝（HRESULT 0x%08X）", unsigned(rc));
      lame_close(lame_);
      lame_ = nullptr;
      return false;
    }
    return true;
  }

  uint32_t OutputBufferSize() override { return kMp3BlockFrames * 5 / 4 + 7200; }

  bool EncodeBlock(const int16_t* pcm, uint64_t, uint64_t, std::vector<uint8_t>& out, std::string& error) override {
    if (!lame_) {
      error = "MP3 编码输入失败（HRESULT 0x8000FFFF）";
      return false;
    }
    const size_t old = out.size();
    out.resize(old + OutputBufferSize());
    int produced;
    if (type_.channels == 1) {
      // LAME reads only the first buffer of a mono stream.
      produced = lame_encode_buffer(lame_, const_cast<int16_t*>(pcm), const_cast<int16_t*>(pcm), int(kMp3BlockFrames),
                                    out.data() + old, int(out.size() - old));
    } else {
      produced = lame_encode_buffer_interleaved(lame_, const_cast<int16_t*>(pcm), int(kMp3BlockFrames),
                                                out.data() + old, int(out.size() - old));
    }
    if (produced < 0) {
      out.resize(old);
      error = Format("MP3 编码输出失败（HRESULT 0x%08X）", unsigned(produced));
      return false;
    }
    out.resize(old + size_t(produced));
    return true;
  }

  void Finish(std::vector<uint8_t>& out) override {
    if (!lame_) return;
    // Without this the file would end inside a frame whose bits LAME still
    // holds; a 100-frame recording would not decode at all.
    const size_t old = out.size();
    out.resize(old + 7200);
    const int produced = lame_encode_flush(lame_, out.data() + old, int(out.size() - old));
    out.resize(old + size_t(produced > 0 ? produced : 0));
  }

 private:
  std::vector<Mp3OutputType> types_;
  Mp3OutputType type_;
  lame_global_flags* lame_ = nullptr;
};

}  // namespace

bool CreateMp3Encoder(std::unique_ptr<Mp3Encoder>& encoder, std::string&) {
  encoder = std::make_unique<LameMp3Encoder>();
  return true;
}

bool Mp3EncoderAvailable() { return true; }

}  // namespace vesk
