// The self-test's run and its live sections: the MP3 encoder, the capture
// endpoints, a short capture into the MP3 and WAV sinks, reading both back
// and editing the recording in the document.
#include "app/self_test.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <system_error>
#include <thread>

#include "app/self_test_sections.h"
#include "audio/audio_backend.h"
#include "audio/capture_stream.h"
#include "core/version.h"
#include "denoise/builtin_denoise.h"
#include "doc/audio_doc.h"
#include "media/audio_loader.h"
#include "media/mp3_encoder.h"
#include "media/mp3_sink.h"
#include "media/wav_reader.h"
#include "media/wav_sink.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/text.h"

namespace vesk {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kSelfTestMp3Kbps = 128;

// The first four bytes of a file as "52 49 46 46" and its size.
struct FileHead {
  uint64_t size = 0;
  uint8_t bytes[4] = {};
  int count = 0;
  std::string Hex() const {
    std::string s;
    for (int i = 0; i < count; ++i) s += Format(i ? " %02X" : "%02X", bytes[i]);
    return s.empty() ? "（无）" : s;
  }
};

FileHead ReadHead(const fs::path& path) {
  FileHead head;
  File f;
  if (!f.OpenRead(path)) return head;
  head.size = uint64_t(std::max<int64_t>(f.Size(), 0));
  head.count = int(std::max<int64_t>(f.Read(head.bytes, 4), 0));
  return head;
}

// Peak and RMS of the left and right channel over everything captured.
struct LevelMeter {
  double peak[2] = {0, 0};
  double squares[2] = {0, 0};
  uint64_t frames = 0;
  void Add(const float* samples, size_t frameCount) {
    for (size_t i = 0; i < frameCount; ++i)
      for (int ch = 0; ch < 2; ++ch) {
        const double v = samples[i * 2 + size_t(ch)];
        peak[ch] = std::max(peak[ch], std::fabs(v));
        squares[ch] += v * v;
      }
    frames += frameCount;
  }
  double Rms(int ch) const { return frames ? std::sqrt(squares[ch] / double(frames)) : 0.0; }
};

struct CaptureResult {
  bool ran = false;  // device and file opened: the capture took place
  bool ok = false;   // ... and every write succeeded
  LevelMeter levels;
  uint32_t deviceRate = 0;
  uint16_t deviceChannels = 0;
  uint32_t rate = 0;
  int32_t bitrate = 0;
};

// Captures `seconds` from the endpoint through the platform's capture stream
// into `sink`, reporting failures on the way.
CaptureResult CaptureInto(SelfTestReport& r, const DeviceEntry& device, int seconds, AudioSink& sink,
                          const fs::path& output) {
  CaptureResult result;
  std::unique_ptr<CaptureStream> stream = CreateCaptureStream();
  std::string error;
  if (!stream->Start(device.id, device.loopback, 2, 0, error)) {
    r.Check("打开采集设备", false);
    r.Why("打不开设备：" + error);
    return result;
  }
  result.deviceRate = stream->DeviceRate();
  result.deviceChannels = stream->DeviceFormat().channels;
  result.rate = stream->Rate();
  r.Line(Format("    设备混音格式：%u Hz / %u 声道（采集侧统一转 float）", result.deviceRate,
                unsigned(result.deviceChannels)));
  std::error_code ec;
  fs::remove(output, ec);
  if (!sink.Open(output, AudioFormat{result.rate, 2, 16}, kSelfTestMp3Kbps, error)) {
    stream->Stop();
    r.Check("打开输出文件 " + PathToUtf8(output.filename()), false);
    r.Why("打不开输出文件：" + error);
    return result;
  }
  result.ran = true;
  std::vector<float> buffer(size_t(std::max<uint32_t>(result.rate, 8000)) * 2);
  bool writeOk = true;
  auto drain = [&] {
    for (;;) {
      const size_t got = stream->Ring().Read(buffer.data(), buffer.size()) / 2 * 2;
      if (got == 0) return;
      result.levels.Add(buffer.data(), got / 2);
      if (writeOk && !sink.Write(buffer.data(), got, error)) writeOk = false;
    }
  };
  const uint64_t end = TickMs() + uint64_t(seconds) * 1000;
  while (TickMs() < end && writeOk && !stream->DeviceLost()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    drain();
  }
  const bool lost = stream->DeviceLost();
  stream->Stop();
  drain();
  std::string closeError;
  const bool closed = sink.Close(closeError);
  result.bitrate = sink.ActualBitrateKbps();
  if (!writeOk || !closed) {
    r.Check("写入 " + PathToUtf8(output.filename()), false);
    r.Why("写文件失败：" + (writeOk ? closeError : error));
    return result;
  }
  if (lost) {
    r.Check("采集过程中设备一直在", false);
    r.Why(stream->LostText());
    return result;
  }
  result.ok = true;
  return result;
}

void ExplainLevels(SelfTestReport& r, const CaptureResult& c, bool loopback) {
  const LevelMeter& m = c.levels;
  r.Line(Format("    实测电平：峰值 L %.1f dB / R %.1f dB，RMS L %.1f dB / R %.1f dB", ReportDb(m.peak[0]),
                ReportDb(m.peak[1]), ReportDb(m.Rms(0)), ReportDb(m.Rms(1))));
  const double peak = std::max(m.peak[0], m.peak[1]);
  if (peak < 0.0005)
    r.Line("    → 整个采集期都是静音。设备通着，但这路输入当下没有信号。\r\n"
           "      要验「录得到声音」，请让这路真的出声（放音乐 / 说话 / 选回环设备）再跑一次。");
  else if (peak >= 0.9995)
    r.Line("    → 电平打满并触发削波。信号过载了，录下来会爆音，源端要调小。");
  else
    r.Line("    → 有信号，电平表这条路是通的。");
  if (m.frames != 0) return;
  if (loopback)
    r.Line("    → 一个数据包都没收到。回环录的是「这个输出端点正在播放的内容」，WASAPI 在它没有活动播放流时一个包都不给 "
           "—— 设备本身是好的，\r\n      只是这几秒里没有任何程序在往它放声音。放点声音再跑一遍就能收到。");
  else
    r.Line("    → 一个数据包都没收到。该采集端点没有在推数据，通常是被系统独占、或设备已从系统里拔出（枚举到的是残留项）。");
}

// [6] Editing the recording in the document, saving it, the cut ramps and
// the WAV header refill.
void SelfTestEdits(SelfTestContext& c, const fs::path& recording) {
  SelfTestReport& r = c.report;
  r.Section("[6] 剪辑功能（裁剪 / 删除 / 静音 / 撤销 / 包络 / 另存）…");
  std::error_code ec;
  const uint64_t size = fs::exists(recording, ec) ? uint64_t(fs::file_size(recording, ec)) : 0;
  if (ec || size < 2000) {
    r.CountFailure();
    r.Why("没有可用的录音素材（上一步没采到东西），跳过。");
    return;
  }
  AudioDoc doc;
  std::string error;
  if (!doc.Load(recording, error)) {
    r.Check("载入录音到剪辑区", false);
    r.Why("读失败：" + error);
    return;
  }
  const uint64_t frames = doc.Frames();
  const uint16_t ch = doc.Format().channels;
  if (frames < 2000) {
    r.CountFailure();
    r.Why("素材太短（不足 2000 帧），跳过剪辑测试。");
    return;
  }
  r.Line(Format("    素材：%" PRIu64 " 帧 / %u Hz / %u 声道", frames, doc.Format().sampleRate, unsigned(ch)));
  const std::vector<float> original = doc.CopySamples();

  doc.SetSelection(100, 600);
  doc.TrimToSelection(error);
  r.Check(Format("裁剪到 [100, 600)：剩 %" PRIu64 " 帧（应为 500）", doc.Frames()), doc.Frames() == 500);
  doc.Undo();
  r.Check(Format("撤销裁剪：%" PRIu64 " 帧（应为 %" PRIu64 "）", doc.Frames(), frames), doc.Frames() == frames);

  doc.SetSelection(0, 500);
  doc.DeleteSelection(error);
  r.Check(Format("删除前 500 帧：剩 %" PRIu64 " 帧（应为 %" PRIu64 "）", doc.Frames(), frames - 500),
          doc.Frames() == frames - 500);
  doc.Undo();
  r.Check(Format("撤销删除：%" PRIu64 " 帧，样本与原来一致", doc.Frames()), doc.CopySamples() == original);

  doc.SetSelection(0, 500);
  doc.SilenceSelection(error);
  const std::vector<float> s = doc.CopySamples();
  const bool allZero = std::all_of(s.begin(), s.begin() + std::min<size_t>(s.size(), 500u * ch),
                                   [](float v) { return v == 0.0f; });
  r.Check(Format("静音前 500 帧：全为 0，长度 %" PRIu64 " 帧不变", doc.Frames()), allZero && doc.Frames() == frames);
  doc.Undo();
  r.Check("撤销静音：样本与原来一致", doc.CopySamples() == original);

  std::vector<float> mins, maxs;
  doc.Envelope(mins, maxs);
  bool envelopeOk = mins.size() == 256 && maxs.size() == 256;
  for (size_t i = 0; envelopeOk && i < mins.size(); ++i)
    envelopeOk = mins[i] <= maxs[i] && mins[i] >= -1.0f && maxs[i] <= 1.0f;
  r.Check(Format("波形包络：%d 列，每列 min ≤ max 且在 [−1, 1] 内", int(mins.size())), envelopeOk);

  // The built-in noise reduction (what denoising uses without a plug-in)
  // gives back every frame, in place.
  if (BuiltinDenoiseSupported()) {
    std::vector<float> denoised = original;
    NoiseProfile profile;
    const bool rendered = RunBuiltinDenoise(denoised, doc.Format().sampleRate, ch, 1, profile, error);
    if (!r.Check(Format("内置降噪（均衡）：%" PRIu64 " 帧（应为 %" PRIu64 "）", uint64_t(denoised.size() / ch), frames),
                 rendered && denoised.size() == original.size()))
      r.Why(error);
  }

  const fs::path editWav = c.File("selftest-edit.wav");
  bool saved = doc.Save(editWav, false, 0, error);
  AudioFormat back;
  std::vector<float> backSamples;
  bool riff = false;
  std::string readError;
  const bool readOk = saved && ReadWavFile(editWav, back, backSamples, readError, riff);
  const uint64_t backFrames = back.channels ? backSamples.size() / back.channels : 0;
  if (r.Check(Format("另存 WAV 再读回：%" PRIu64 " 帧（应为 %" PRIu64 "）", backFrames, frames),
              readOk && backFrames == frames) == false)
    r.Why(saved ? "读回失败：" + readError : "保存失败：" + error);

  const fs::path editMp3 = c.File("selftest-edit.mp3");
  saved = doc.Save(editMp3, true, kSelfTestMp3Kbps, error);
  const FileHead mp3 = ReadHead(editMp3);
  const bool mpegHead = mp3.count == 4 && ((mp3.bytes[0] == 0xFF && (mp3.bytes[1] & 0xE0) == 0xE0) ||
                                           (mp3.bytes[0] == 'I' && mp3.bytes[1] == 'D' && mp3.bytes[2] == '3'));
  if (!r.Check(Format("另存 MP3：%" PRIu64 " 字节，头四字节 %s", mp3.size, mp3.Hex().c_str()),
               saved && mp3.size >= 512 && mpegHead))
    r.Why(saved ? "文件不像 MP3（太小或没有 MPEG 帧头）。" : "保存失败：" + error);

  // Cut ramps: a constant 12000/32768 stereo clip at 44.1 kHz trimmed inside.
  {
    constexpr uint32_t kRate = 44100;
    constexpr float kLevel = 12000.0f / 32768.0f;
    const fs::path rampPath = c.File("selftest-ramp.wav");
    std::vector<float> flat(size_t(kRate) * 2, kLevel);
    bool ok = WriteWavFile(rampPath, AudioFormat{kRate, 2, 16}, flat, error, 16);
    AudioDoc ramp;
    ok = ok && ramp.Load(rampPath, error);
    if (ok) {
      ramp.SetSelection(1000, 11000);
      ok = ramp.TrimToSelection(error);
    }
    const uint64_t rampFrames = uint64_t(std::max(1.0, std::floor(kRate * 0.005)));
    const std::vector<float> t = ramp.CopySamples();
    const bool sized = ok && t.size() >= (rampFrames + 3) * 2;
    const double first = sized ? std::fabs(t[0]) * 32768 : -1;
    const double after = sized ? std::fabs(t[(rampFrames + 2) * 2]) * 32768 : -1;
    const double last = sized ? std::fabs(t[t.size() - 1]) * 32768 : -1;
    if (!r.Check(Format("剪切点淡入淡出（%" PRIu64 " 帧）：首样本 %.0f，第 %" PRIu64 " 帧 %.0f，末样本 %.0f（满幅 12000）",
                        rampFrames, first, rampFrames + 2, after, last),
                 sized && first <= 1500 && last <= 1500 && std::fabs(after - 12000) <= 1))
      r.Why(ok ? "剪切点没有淡入淡出，或淡完没有回到满幅。" : "准备素材失败：" + error);
  }

  // Header refill: before Close the header lags the data by under a second.
  {
    const fs::path headerPath = c.File("selftest-header.wav");
    const AudioFormat format{48000, 2, 16};
    const uint64_t bytesPerSecond = 48000ull * 2 * 2;
    std::vector<float> tone(size_t(48000) * 2 * 7 / 2);  // 3.5 s
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = float(std::sin(double(i / 2) * 0.05) * 0.5);
    tone.back() = -0.25f;
    WavSink sink;
    bool ok = sink.Open(headerPath, format, 0, error);
    for (size_t at = 0; ok && at < tone.size(); at += 4800 * 2)
      ok = sink.Write(tone.data() + at, std::min<size_t>(4800 * 2, tone.size() - at), error);
    std::string head;
    const bool peeked = ok && ReadWholeFile(headerPath, head) && head.size() >= 44;
    auto u32 = [&](size_t at) {
      return uint32_t(uint8_t(head[at])) | uint32_t(uint8_t(head[at + 1])) << 8 |
             uint32_t(uint8_t(head[at + 2])) << 16 | uint32_t(uint8_t(head[at + 3])) << 24;
    };
    const uint64_t onDisk = peeked ? head.size() - 44 : 0;
    const uint64_t declared = peeked ? u32(40) : 0;
    r.Check(Format("封口前：头里记的数据 %" PRIu64 " 字节，盘上 %" PRIu64 " 字节（差距应不到 1 秒 = %" PRIu64 "）",
                   declared, onDisk, bytesPerSecond),
            peeked && declared <= onDisk && onDisk - declared < bytesPerSecond);
    ok = ok && sink.Close(error);
    const uint64_t expectBytes = tone.size() * 2;
    const uint64_t fileSize = ok ? uint64_t(fs::file_size(headerPath, ec)) : 0;
    r.Check(Format("封口后：文件 %" PRIu64 " 字节（应为 %" PRIu64 "）", fileSize, 44 + expectBytes),
            ok && fileSize == 44 + expectBytes);
    AudioFormat hf;
    std::vector<float> hs;
    const bool hr = ok && ReadWavFile(headerPath, hf, hs, readError, riff);
    const bool lastIntact = hr && hs.size() == tone.size() && std::lround(hs.back() * 32768) == -8192;
    if (!r.Check("封口后：最后一个样本完好（−8192）", lastIntact)) r.Why(ok ? readError : error);
  }
}

}  // namespace

int RunSelfTest(int seconds, const fs::path& reportPath, int deviceIndex) {
  SelfTestReport r;
  SelfTestContext c{r, reportPath.parent_path()};
  if (seconds < 1 || seconds > 600) seconds = 3;
  r.Line(std::string(kProductTitle) + " —— 主链路自检报告");
  r.Line("=====================================");
  r.Line("");

  const bool haveMp3 = Mp3EncoderAvailable();
  r.Section(Format("[1] 系统 MP3 编码器：%s", haveMp3 ? "可用" : "不可用"));
  if (!haveMp3) {
    r.CountFailure();
    r.Line("    → 说明：本机 Windows 媒体基础里没有 MP3 编码器 MFT。\r\n"
           "      程序仍可用 WAV 录制；MP3 相关按钮会拒绝并给出提示。");
  }

  std::vector<DeviceEntry> endpoints = CreateAudioDeviceBackend()->Enumerate();
  r.Section(Format("[2] 枚举到输入源 %d 个：", int(endpoints.size())));
  if (endpoints.empty()) {
    r.Why("没有任何可录音的端点。请检查 设置→系统→声音→输入。");
    r.CountFailure();
    r.Line("=====================================");
    r.Line("结论：设备层就没通过，后面的录音测试跳过。");
    r.Write(reportPath);
    return 1;
  }
  for (size_t i = 0; i < endpoints.size(); ++i)
    r.Line(Format("    [%d] %s%s%s", int(i), endpoints[i].name.c_str(), endpoints[i].isDefault ? " [默认]" : "",
                  endpoints[i].loopback ? "  (回环)" : ""));
  r.Line("    （想指定某一个，加参数：--selftest 3 --dev 序号）");
  int chosen = -1;
  if (deviceIndex >= 0 && size_t(deviceIndex) < endpoints.size()) {
    chosen = deviceIndex;
    r.Line(Format("    设备由 --dev 指定：[%d] %s", chosen, endpoints[size_t(chosen)].name.c_str()));
  } else if (deviceIndex != -1) {
    r.Line(Format("    --dev %d 超范围（共 %d 个），改回自动挑。", deviceIndex, int(endpoints.size())));
  }
  if (chosen < 0) {
    for (size_t i = 0; i < endpoints.size() && chosen < 0; ++i)
      if (endpoints[i].isDefault && !endpoints[i].loopback) chosen = int(i);
    for (size_t i = 0; i < endpoints.size() && chosen < 0; ++i)
      if (!endpoints[i].loopback) chosen = int(i);
    if (chosen < 0) chosen = 0;
  }
  const DeviceEntry& device = endpoints[size_t(chosen)];

  r.Section(Format("[3] 用设备 [%d] %s 采集 %d 秒并编码成 MP3 …", chosen, device.name.c_str(), seconds));
  {
    const fs::path out = c.File("selftest-out.mp3");
    Mp3Sink sink;
    const CaptureResult capture = CaptureInto(r, device, seconds, sink, out);
    if (capture.ran) {
      const uint64_t frames = capture.levels.frames;
      r.Line(Format("    实测采集 %" PRIu64 " 帧（约 %.2f 秒）", frames, double(frames) / capture.rate));
    }
    if (capture.ok) {
      const FileHead head = ReadHead(out);
      if (!r.Check(Format("产出文件 %" PRIu64 " 字节，头四字节 %s", head.size, head.Hex().c_str()), head.size >= 512))
        r.Why("文件太小，MP3 路径不通过。");
      r.Line(Format("    编码器实际码率：%d kbps", capture.bitrate));
    }
    if (capture.ran) ExplainLevels(r, capture, device.loopback);
  }

  const fs::path wavOut = c.File("selftest-out.wav");
  r.Section(Format("[4] 同一设备采集 %d 秒并存成 WAV …", seconds));
  {
    WavSink sink;
    const CaptureResult capture = CaptureInto(r, device, seconds, sink, wavOut);
    if (capture.ran) r.Line(Format("    实测采集 %" PRIu64 " 帧", capture.levels.frames));
    if (capture.ok) {
      const FileHead head = ReadHead(wavOut);
      const bool riff = head.count == 4 && std::equal(head.bytes, head.bytes + 4, "RIFF");
      if (!r.Check(Format("产出文件 %" PRIu64 " 字节，头四字节 %s（应为 52 49 46 46）", head.size, head.Hex().c_str()),
                   head.size >= 100 && riff))
        r.Why(head.size < 100 ? "文件太小，WAV 路径不通过。" : "文件头不是 RIFF，WAV 路径不通过。");
    }
    if (capture.ran) ExplainLevels(r, capture, device.loopback);
  }

  r.Section("[5] 回读 WAV 与 MP3（剪辑区的载入依赖这一步）…");
  for (const char* name : {"selftest-out.wav", "selftest-out.mp3"}) {
    AudioFormat format;
    std::vector<float> samples;
    std::string error;
    const bool ok = LoadAudioFile(c.File(name), format, samples, error);
    const uint64_t frames = ok && format.channels ? samples.size() / format.channels : 0;
    if (!ok) {
      r.Check(name, false);
      r.Why("读失败：" + error);
    } else if (!r.Check(Format("%s → %u Hz / %u 声道 / %" PRIu64 " 帧", name, format.sampleRate,
                               unsigned(format.channels), frames),
                        frames > 0)) {
      r.Why("读出来是空的。");
    }
  }

  SelfTestEdits(c, wavOut);
  SelfTestMixResampling(c);
  SelfTestSingleSourceFill(c);
  SelfTestTwoSourceTimeline(c);
  SelfTestModifiedFlag(c);
  SelfTestRateGate(c);
  SelfTestPlayHead(c);
  SelfTestPositionCap(c);
  SelfTestSessionLogRules(c);
  SelfTestBitDepths(c);
  SelfTestFloatPrecision(c);
  SelfTestSegments(c);
  SelfTestRecovery(c);
  SelfTestHelper(c);
  SelfTestPreviewDecoder(c);
  SelfTestFrameGeometry(c);

  r.Conclude();
  r.Write(reportPath);
  return r.Failures() == 0 ? 0 : 1;
}

}  // namespace vesk
