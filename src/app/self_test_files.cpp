// Self-test sections that write and read files or look at the program's
// parts: the document's modified flag, bit depths and resampling, float
// precision, WAV segments, crash recovery, the 32-bit helper, the preview
// decoder's error path and the window frame's geometry.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <system_error>
#include <vector>

#include "app/self_test_sections.h"
#include "core/version.h"
#include "denoise/helper_client.h"
#include "doc/audio_doc.h"
#include "media/resample.h"
#include "media/wav_reader.h"
#include "media/wav_recovery.h"
#include "media/wav_sink.h"
#include "platform/file.h"
#include "platform/text.h"
#include "ui/window_geometry.h"
#include "video/preview_decoder.h"

namespace vesk {

namespace fs = std::filesystem;

namespace {

void RemoveQuiet(const fs::path& path) {
  std::error_code ec;
  fs::remove(path, ec);
}

// The 16-bit scale with halves away from zero.
int32_t To16(float v) { return int32_t(std::lround(double(v) * 32768.0)); }

std::vector<float> Tone(uint32_t rate, double seconds, double hz, double amplitude, uint16_t channels = 1) {
  std::vector<float> s(size_t(double(rate) * seconds) * channels);
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = float(std::sin(kTwoPi * hz * double(i / channels) / double(rate)) * amplitude);
  return s;
}

bool ReadBack(const fs::path& path, AudioFormat& format, std::vector<float>& samples, std::string& error,
              int* sourceBits = nullptr) {
  bool riff = false;
  return ReadWavFile(path, format, samples, error, riff, sourceBits);
}

uint32_t U32At(const std::string& bytes, size_t at) {
  if (bytes.size() < at + 4) return 0;
  return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 | uint32_t(uint8_t(bytes[at + 2])) << 16 |
         uint32_t(uint8_t(bytes[at + 3])) << 24;
}

}  // namespace

void SelfTestModifiedFlag(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[22] AudioDoc 修改标记生命周期（关窗确认只认「真改过」）…");
  std::string error;
  const fs::path source = c.File("selftest-modflag.wav");
  const std::vector<float> tone = Tone(48000, 1.0, 440, 0.3, 2);
  if (!WriteWavFile(source, AudioFormat{48000, 2, 16}, tone, error, 16)) {
    r.Check("准备素材 selftest-modflag.wav", false);
    r.Why("写文件失败：" + error);
    return;
  }
  AudioDoc doc;
  const bool loaded = doc.Load(source, error);
  auto row = [&](const std::string& step, bool expectedModified) {
    const bool m = doc.IsModified();
    r.Check(step + "：" + (m ? "已修改" : "未修改") + "（应为" + (expectedModified ? "已修改" : "未修改") + "）",
            m == expectedModified);
  };
  if (!r.Check("载入素材", loaded)) {
    r.Why("读失败：" + error);
    return;
  }
  row("载入后", false);
  doc.SetSelection(1000, 2000);
  doc.DeleteSelection(error);
  row("删除一段后", true);
  doc.Undo();
  row("撤销回到载入时的内容后", true);
  const bool saved = doc.Save(c.File("selftest-modflag-out.wav"), false, 0, error);
  if (!saved) r.Why("保存失败：" + error);
  row("保存成功后", false);
  doc.SetSelection(0, 1000);
  doc.SilenceSelection(error);
  row("静音一段后", true);
  doc.Clear();
  row("清空后", false);
  std::vector<float> copy = tone;
  doc.Adopt(AudioFormat{48000, 2, 16}, std::move(copy), c.File("adopt-test.wav"), error, 16);
  row("接管录音缓冲（Adopt）后", false);
}

void SelfTestBitDepths(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[12] 位深落盘（24bit / 32float）与离线重采样 …");
  std::vector<float> signal(48000);
  for (size_t n = 0; n < signal.size(); ++n)
    signal[n] = float(std::sin(kTwoPi * 1000.0 * double(n) / 48000.0) * 20000.0 / 32768.0);

  for (const int bits : {16, 24, 32}) {
    const fs::path path = c.File(Format("selftest-bits%d.wav", bits).c_str());
    RemoveQuiet(path);
    std::string error;
    if (!WriteWavFile(path, AudioFormat{48000, 1, uint16_t(bits)}, signal, error, bits)) {
      r.Line(Format("    写 %dbit WAV 失败：%s", bits, error.c_str()));
      r.CountFailure();
      continue;
    }
    AudioFormat format;
    std::vector<float> back;
    int sourceBits = 0;
    if (!ReadBack(path, format, back, error, &sourceBits) || back.size() != signal.size()) {
      r.Line(Format("    回读 %dbit WAV 失败：%s", bits, back.size() != signal.size() ? "" : error.c_str()));
      r.CountFailure();
      continue;
    }
    int32_t worst = 0;
    for (size_t i = 0; i < signal.size(); ++i) worst = std::max(worst, std::abs(To16(back[i]) - To16(signal[i])));
    r.Check(Format("%u bit WAV 回读：%u Hz · %u bit · 最大样本误差 %d", unsigned(bits), format.sampleRate,
                   unsigned(sourceBits), int(worst)),
            worst <= (bits == 16 ? 0 : 1));
  }

  std::vector<float> out;
  std::string error;
  if (!ResampleAudio(signal, 48000, 44100, 1, out, error)) {
    r.Line("    ResampleAudio 失败：" + error);
    r.CountFailure();
    return;
  }
  const double ratio = double(out.size()) / double(signal.size());
  float peak = 0;
  for (float v : out) peak = std::max(peak, std::fabs(v));
  const bool ratioOk = std::fabs(ratio - 0.91875) <= 0.01;
  const bool peakOk = peak > 18000.0f / 32768.0f;
  r.Check(Format("48000 → 44100：帧数比 %.4f（期望 %.4f），峰值 %d", ratio, 0.91875, int(To16(peak))),
          ratioOk && peakOk);
  if (!ratioOk) r.Why2("输出时长和采样率比例对不上。");
  if (!peakOk) r.Why2("幅值被压低了。");
  if (!ratioOk && !peakOk) r.CountFailure();
}

void SelfTestFloatPrecision(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[13] 剪辑器 float 精度（载入/另存不降精度）…");
  // Values between the 16-bit steps: a 16-bit path would move each by up
  // to half a step (1.5e-5).
  std::vector<float> signal = Tone(48000, 0.5, 440, 0.6);
  for (size_t i = 0; i < signal.size(); ++i) signal[i] += float(i % 7) * 3e-6f;
  const fs::path path = c.File("selftest-float.wav");
  std::string error;
  AudioDoc doc;
  if (!WriteWavFile(path, AudioFormat{48000, 1, 32}, signal, error, 32) || !doc.Load(path, error)) {
    r.Check("准备 32 bit float 素材并载入", false);
    r.Why(error);
    return;
  }
  auto maxError = [&](const std::vector<float>& a) {
    double worst = a.size() == signal.size() ? 0.0 : 1.0;
    for (size_t i = 0; i < std::min(a.size(), signal.size()); ++i)
      worst = std::max(worst, std::fabs(double(a[i]) - double(signal[i])));
    return worst;
  };
  const double loaded = maxError(doc.CopySamples());
  r.Check(Format("32 bit float 载入剪辑区：最大误差 %.2e", loaded), loaded < 1e-7, "不合格（int16 量化会差 ~1.5e-5）");
  struct Depth {
    uint16_t bits;
    double tolerance;  // one step of the depth
  } depths[] = {{16, 1.0 / 32768}, {24, 1.0 / 8388608}, {32, 1e-9}};
  for (const Depth& d : depths) {
    const fs::path out = c.File(Format("selftest-float-save%u.wav", unsigned(d.bits)).c_str());
    const AudioFormat requested{48000, 1, d.bits};
    AudioFormat format;
    std::vector<float> back;
    const bool ok = doc.Save(out, false, 0, error, &requested) && ReadBack(out, format, back, error);
    const double e = ok ? maxError(back) : 1.0;
    if (!r.Check(Format("另存 %u bit 再读回：最大误差 %.2e（允许 %.1e）", unsigned(d.bits), e, d.tolerance),
                 ok && e <= d.tolerance) &&
        !ok)
      r.Why(error);
  }
}

void SelfTestSegments(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[14] WAV 自动分段（4GB 上限保护，测试阈值 1 MB）…");
  const fs::path base = c.File("selftest-seg.wav");
  RemoveQuiet(base);
  for (uint32_t n = 1; n < 100; ++n) RemoveQuiet(SegmentPath(base, n));
  const AudioFormat format{48000, 2, 16};
  std::vector<float> signal = Tone(48000, 18.0, 220, 0.4, 2);
  for (size_t i = 0; i < signal.size(); ++i) signal[i] += float(i % 1000) / 1000.0f * 0.1f;  // no two seconds alike

  const uint64_t previous = SetSegmentThreshold(1 << 20);
  WavSink sink;
  std::string error;
  bool ok = sink.Open(base, format, 0, error);
  for (size_t at = 0; ok && at < signal.size(); at += 8192)
    ok = sink.Write(signal.data() + at, std::min<size_t>(8192, signal.size() - at), error);
  ok = ok && sink.Close(error);
  SetSegmentThreshold(previous);
  if (!r.Check("阈值 1 MB 写 18 秒立体声 16 bit", ok)) {
    r.Why("写失败：" + error);
    return;
  }
  std::vector<fs::path> segments{base};
  for (uint32_t n = 1; n < 100; ++n) {
    std::error_code ec;
    if (!fs::exists(SegmentPath(base, n), ec)) break;
    segments.push_back(SegmentPath(base, n));
  }
  r.Check(Format("分成 %d 段（应不少于 4 段）", int(segments.size())), segments.size() >= 4);
  std::vector<float> joined;
  for (const fs::path& segment : segments) {
    std::string bytes;
    ReadWholeFile(segment, bytes);
    AudioFormat f;
    std::vector<float> samples;
    const bool read = ReadBack(segment, f, samples, error);
    const uint64_t size = bytes.size();
    const bool consistent = size > 44 && U32At(bytes, 4) == size - 8 && U32At(bytes, 40) == size - 44 &&
                            size - 44 <= (1u << 20) && read && f.sampleRate == 48000 && f.channels == 2;
    if (!r.Check(Format("%s：%" PRIu64 " 字节，头里 RIFF %u / data %u，%d 帧", PathToUtf8(segment.filename()).c_str(),
                        size, U32At(bytes, 4), U32At(bytes, 40), int(samples.size() / 2)),
                 consistent))
      r.Why(read ? "头里记的长度和文件对不上，或这段超过了阈值。" : "读失败：" + error);
    joined.insert(joined.end(), samples.begin(), samples.end());
  }
  bool same = joined.size() == signal.size();
  for (size_t i = 0; same && i < joined.size(); ++i) same = To16(joined[i]) == To16(signal[i]);
  if (!r.Check(Format("各段合计 %d 帧（应为 %d），内容首尾相接", int(joined.size() / 2), int(signal.size() / 2)), same))
    r.Why("分段处丢了或多了数据。");
}

void SelfTestRecovery(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[15] 崩溃恢复（未封口 WAV 补头）…");
  const fs::path crashed = c.File("selftest-crash.wav");
  const fs::path sealed = c.File("selftest-crash-ok.wav");
  const AudioFormat format{48000, 2, 16};
  const std::vector<float> signal = Tone(48000, 2.5, 330, 0.4, 2);
  std::string error;
  bool ok = WriteWavFile(sealed, format, signal, error, 16);
  {
    // A recording that never reaches Close: the sink is dropped as a crash
    // would leave it, with the header of its last refill.
    WavSink sink;
    ok = ok && sink.Open(crashed, format, 0, error);
    for (size_t at = 0; ok && at < signal.size(); at += 4800)
      ok = sink.Write(signal.data() + at, std::min<size_t>(4800, signal.size() - at), error);
  }
  std::string crashedBefore, sealedBefore;
  ok = ok && ReadWholeFile(crashed, crashedBefore) && ReadWholeFile(sealed, sealedBefore);
  if (!r.Check("准备一个没封口的录音和一个正常文件", ok && U32At(crashedBefore, 40) < crashedBefore.size() - 44)) {
    r.Why(error.empty() ? "没封口的文件头和数据一致，模拟不出崩溃。" : "写文件失败：" + error);
    return;
  }
  // Recovery leaves files changed within the last seconds alone (someone may
  // still be writing them); these two stand for files of an earlier run.
  for (const fs::path& p : {crashed, sealed}) {
    std::error_code ec;
    fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::minutes(1), ec);
  }
  std::vector<std::string> repaired;
  const int32_t count = RepairUnsealedWavs(c.folder, &repaired);
  const bool listed = std::find(repaired.begin(), repaired.end(), "selftest-crash.wav") != repaired.end();
  const bool sealedListed = std::find(repaired.begin(), repaired.end(), "selftest-crash-ok.wav") != repaired.end();
  r.Check(Format("修复了 %d 个文件，清单里有 selftest-crash.wav", int(count)), listed && !sealedListed);
  std::string after;
  ReadWholeFile(crashed, after);
  AudioFormat f;
  std::vector<float> samples;
  const bool read = ReadBack(crashed, f, samples, error);
  r.Check(Format("补头后：RIFF %u / data %u，文件 %d 字节，读出 %d 帧（应为 %d）", U32At(after, 4), U32At(after, 40),
                 int(after.size()), int(samples.size() / 2), int(signal.size() / 2)),
          read && U32At(after, 4) == after.size() - 8 && U32At(after, 40) == after.size() - 44 &&
              samples.size() == signal.size());
  std::string sealedAfter;
  ReadWholeFile(sealed, sealedAfter);
  r.Check("正常封口的文件一个字节都没动", sealedAfter == sealedBefore);
}

void SelfTestHelper(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[16] 内嵌的 32 位降噪辅助程序（单文件分发）…");
  const HelperPlaces places = DefaultHelperPlaces();
  const fs::path helper = LocateHelper(places);
  if (!r.Check("辅助程序就位：" + (helper.empty() ? std::string("（没有）") : PathToUtf8(helper)), !helper.empty())) {
    r.Why("程序目录里没有，内嵌的那份也没能释放出来（本版本可能没有带内嵌副本，或用户目录不可写）。");
    return;
  }
  std::error_code ec;
  r.Line(fs::equivalent(helper.parent_path(), places.programDir, ec) ? "    （来自程序目录）"
                                                                      : "    （由内嵌副本释放到用户目录）");
  const std::string version = ReadProductVersion(helper);
  if (!r.Check(Format("辅助程序版本 %s，主程序 %s", version.empty() ? "（读不出）" : version.c_str(), kVersion),
               version == kVersion))
    r.Why("版本对不上：删掉程序目录里的旧辅助程序，程序会改用内嵌的那份。");
}

void SelfTestPreviewDecoder(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[17] 视频预览解码器（错误路径干净性）…");
  PreviewDecoder decoder;
  std::string error;
  const bool opened = decoder.Open(c.File("不存在-测试用.mp4"), error);
  r.Check("打开不存在的「不存在-测试用.mp4」返回失败", !opened);
  PreviewPicture picture;
  std::string pictureError;
  const bool clean = !decoder.IsOpen() && decoder.Width() == 0 && decoder.Height() == 0 &&
                     decoder.DurationSeconds() == 0 &&
                     !decoder.PictureAt(0, 16, 16, PreviewPixels::Rgb24, picture, pictureError) &&
                     picture.data.empty();
  r.Check("失败后没有留下状态（未打开、尺寸和时长为 0、取画面被拒）", clean);
  if (!r.Check("给出了原因：" + (error.empty() ? std::string("（空）") : error), !error.empty()))
    r.Why("失败却没有说明，界面上只能显示一个空白窗口。");
}

void SelfTestFrameGeometry(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section(Format("[18] 窗口伪阴影几何（v%s）…", kVersion));
  struct Dpi {
    unsigned dpi;
    size_t rings;  // one per physical pixel of the 4-unit band
  } dpis[] = {{96, 4}, {120, 5}, {144, 6}, {192, 8}};
  const uint32_t backgrounds[] = {0xF0F0F0, 0xFFFFFF, 0x2B2B2B};
  auto luminance = [](uint32_t rgb) {
    return 299 * int((rgb >> 16) & 0xFF) + 587 * int((rgb >> 8) & 0xFF) + 114 * int(rgb & 0xFF);
  };
  for (const Dpi& d : dpis) {
    const int border = ui::ScaleUnits(ui::kFrameBorder, d.dpi);
    const int caption = ui::ScaleUnits(ui::kCaptionHeight, d.dpi);
    const ui::TrackSize min = ui::MinimumTrackSize(d.dpi);
    const std::vector<ui::ShadowRing> rings = ui::ShadowRings(d.dpi, backgrounds[0]);

    // 18a: every ring lies inside the frame band the window paints.
    bool inside = !rings.empty();
    for (const ui::ShadowRing& ring : rings) inside = inside && ring.inset >= 0 && ring.inset < border;
    r.Check(Format("18a %u DPI：%d 圈都在 %d 像素的边框带内", d.dpi, int(rings.size()), border), inside);

    // 18b: darker outside than inside, the innermost ring is the background.
    bool shaded = true;
    for (const uint32_t background : backgrounds) {
      const std::vector<ui::ShadowRing> rs = ui::ShadowRings(d.dpi, background);
      shaded = shaded && !rs.empty() && rs.back().color == background &&
               luminance(rs.front().color) < luminance(background);
      for (size_t i = 1; shaded && i < rs.size(); ++i)
        shaded = luminance(rs[i - 1].color) <= luminance(rs[i].color);
    }
    r.Check(Format("18b %u DPI：外圈比内圈暗，最内圈等于窗口底色", d.dpi), shaded);

    // 18c: one ring per pixel from the edge inwards, and the smallest window
    // still has a caption between its frame and its three buttons.
    bool edges = true;
    for (size_t i = 0; i < rings.size(); ++i) edges = edges && rings[i].inset == int(i);
    const int innerWidth = min.width - 2 * int(rings.size());
    const int innerHeight = min.height - 2 * int(rings.size());
    edges = edges && innerWidth > 0 && innerHeight > 0 &&
            ui::HitTestCaption(border, caption / 2, min.width, false, d.dpi) == ui::CaptionHit::Caption;
    r.Check(Format("18c %u DPI：逐像素一圈无空隙，最小窗口 %d×%d 里标题栏仍可拖", d.dpi, min.width, min.height), edges);

    // 18d: the side edges stay resize edges over the whole height, the
    // caption band included.
    int stolen = 0;
    for (int y = 0; y < min.height; ++y)
      for (const int x : {0, border - 1, min.width - border, min.width - 1})
        stolen += ui::HitTestCaption(x, y, min.width, false, d.dpi) != ui::CaptionHit::Default;
    r.Check(Format("18d %u DPI：左右边框整高都可拉伸（被标题栏占去 %d 点）", d.dpi, stolen), stolen == 0);

    // 18e: the gradient has one ring per physical pixel.
    r.Check(Format("18e %u DPI：渐变 %d 圈（应为 %d）", d.dpi, int(rings.size()), int(d.rings)), rings.size() == d.rings);
  }
}

}  // namespace vesk
