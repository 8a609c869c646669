// Self-test sections over the recording engine's rules: the mixer's
// streaming rate conversion, the pacing primitives, the play-head display and
// the session-log rules. Each row calls the engine's own function with a
// case whose answer is known and prints both.
#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <vector>

#include "app/self_test_sections.h"
#include "core/app_log.h"
#include "platform/text.h"
#include "record/pacing.h"
#include "record/play_head_servo.h"
#include "record/sample_ring.h"
#include "record/streaming_resampler.h"
#include "record/time_source.h"

namespace vesk {

namespace {

constexpr int64_t kMs = 10'000;  // ticks

const char* YesNo(bool b) { return b ? "是" : "否"; }

bool BoolRow(SelfTestReport& r, const std::string& caseText, bool got, bool expected) {
  return r.Check(caseText + "：得 " + YesNo(got) + "，应为 " + YesNo(expected), got == expected);
}

int16_t ToneSample(int64_t n) {
  return int16_t(std::sin(kTwoPi * 1000.0 * double(n) / 44100.0) * 8000.0);  // truncated toward zero
}

// Converts `inputFrames` of the mono test tone at `step` into `outputFrames`
// the way the mixer does: the input arrives in 10 ms packets through a
// sample ring, the output is taken in batches of changing size, and the
// resampler carries its phase and unused input from one batch to the next.
std::vector<int32_t> ConvertTone(double step, int64_t inputFrames, int64_t outputFrames) {
  SampleRing ring;
  ring.Reset(size_t(inputFrames) + 16);
  ring.Configure(nullptr, 0, 1);
  StreamingResampler resampler;
  resampler.Reset(step, 1, kMaxBatchFrames);
  const std::vector<float> silentMain(size_t(kMaxBatchFrames), 0.0f);
  std::vector<float> batch(static_cast<size_t>(kMaxBatchFrames));
  std::vector<int32_t> out;
  out.reserve(size_t(outputFrames));
  const int64_t sizes[] = {480, 1024, 441, 1920, 333, 8192};
  int64_t fed = 0;
  for (size_t b = 0; int64_t(out.size()) < outputFrames; ++b) {
    const int64_t n = std::min({sizes[b % std::size(sizes)], outputFrames - int64_t(out.size()),
                                resampler.OutputCapacity()});
    const int64_t need = InputFramesNeeded(n, resampler.Step(), resampler.Phase()) - resampler.Pending();
    while (int64_t(ring.Available()) < need && fed < inputFrames) {
      float packet[441];
      const int64_t count = std::min<int64_t>(441, inputFrames - fed);
      for (int64_t i = 0; i < count; ++i) packet[i] = float(ToneSample(fed + i)) / 32768.0f;
      ring.Write(packet, size_t(count), 0);
      fed += count;
    }
    resampler.Process(silentMain.data(), n, ring, batch.data());
    for (int64_t i = 0; i < n; ++i) out.push_back(int32_t(std::lround(double(batch[size_t(i)]) * 32768.0)));
  }
  return out;
}

}  // namespace

void SelfTestMixResampling(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[7] 混音重采样（采样率不一致时音高不能跑）…");
  {
    const std::vector<int32_t> out = ConvertTone(1.0, 44100, 44100);
    uint64_t mismatches = 0;
    for (size_t i = 0; i < out.size(); ++i) mismatches += out[i] != ToneSample(int64_t(i));
    if (!r.Check(Format("同速率直通（step = 1）：%" PRIu64 " / %d 个样本不一致", mismatches, int(out.size())),
                 mismatches == 0))
      r.Why2("直通都对不上：重采样的相位或进位算错了。");
  }
  {
    const double step = 44100.0 / 48000.0;
    const std::vector<int32_t> out = ConvertTone(step, 44500, 48000);
    int64_t crossings = 0;
    for (size_t i = 1; i < out.size(); ++i) crossings += (out[i - 1] < 0) != (out[i] < 0);
    const double pitch = double(crossings) / 2.0;
    const int32_t lo = *std::min_element(out.begin(), out.end());
    const int32_t hi = *std::max_element(out.begin(), out.end());
    const bool pitchOk = std::fabs(pitch - 1000.0) < 20.0;
    const bool levelOk = hi > 6000 && lo < -6000;
    r.Check(Format("44100 → 48000（step = %.5f）：实测音高 %.1f Hz，幅值 %d / %d", step, pitch, int(lo), int(hi)),
            pitchOk && levelOk);
    // A line with both faults counts each of them.
    if (!pitchOk) r.Why2("音高跑偏：从路没有按正确的步长映射到输出采样率。");
    if (!levelOk) r.Why2("幅值不对：重采样过程中信号被压平或放大了。");
    if (!pitchOk && !levelOk) r.CountFailure();
  }
}

void SelfTestSingleSourceFill(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[20] 单路补零（只补设备没采到的时段，迟到的数据不补）…");
  r.Line("    （时间线已到 10 秒处，抖动容差 30 ms，迟到上限 600 ms，单位 100 ns）");
  constexpr int64_t end = 100'000'000, tol = 300'000, late = 6'000'000;
  struct Case {
    const char* text;
    bool waiting;
    int64_t head, now, lateBound, ticks;
  } cases[] = {
      {"环里的数据紧接着时间线：不补", true, end + 100'000, end + 9'000'000, late, 0},
      {"环里的数据前面空了 50 ms：补 50 ms", true, end + 500'000, end + 600'000, late, 500'000},
      {"环里的数据比时间线还早：不补", true, end - 1'000'000, end, late, 0},
      {"环空，迟到还没超过上限：不补", false, 0, end + late + tol, late, 0},
      {"环空，超过上限 100 ms：补 100 ms", false, 0, end + late + 1'000'000, late, 1'000'000},
      {"停止后只差抖动：不补", false, 0, end + tol, 0, 0},
      {"停止后差 50 ms：补到停止", false, 0, end + 500'000, 0, 500'000},
  };
  for (const Case& k : cases)
    r.Row(k.text, SingleSilenceTicks(k.waiting, k.head, end, k.now, tol, k.lateBound), k.ticks);
}

void SelfTestTwoSourceTimeline(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[21] 双路断流与时间线原点（两者模式不能停摆、不能冤丢从路）…");
  struct Origin {
    int64_t m, s, origin;
  } origins[] = {{100, 50, 50}, {50, 100, 50}, {0, 100, 100}, {100, 0, 100}, {0, 0, 999}};
  for (const Origin& o : origins)
    r.Row(Format("时间线原点（主路头 %" PRId64 "，从路头 %" PRId64 "，现在 999）", o.m, o.s), TimelineOrigin(o.m, o.s, 999),
          o.origin);

  const int64_t last = 1'000'000;
  struct Stall {
    const char* text;
    bool fresh;
    int64_t now, last;
    bool stalled;
  } stalls[] = {
      {"主路这一步有新数据", true, last + 500, last, false},
      {"主路静默 79 ms", false, last + 79, last, false},
      {"主路静默 80 ms", false, last + 80, last, true},
      {"主路静默 18.5 秒", false, last + 18'500, last, true},
      {"还没记过变化时刻", false, last + 18'500, 0, false},
  };
  for (const Stall& s : stalls) BoolRow(r, "断流判定：" + std::string(s.text), StallDetected(s.fresh, s.now, s.last), s.stalled);

  struct Drop {
    int64_t rate, limit;
  } drops[] = {{48000, 4800}, {44100, 4410}, {0, 0}};
  for (const Drop& d : drops)
    r.Row(Format("从路每步最多丢 100 ms（%" PRId64 " Hz）", d.rate), DropLimitFrames(d.rate), d.limit);

  // A ring of 11 samples for stereo frames: whole frames only, one frame free.
  std::atomic<int64_t> head{0};
  SampleRing ring;
  ring.Reset(11);
  ring.Configure(&head, 48000, 2);
  const float samples[20] = {};
  r.Row("11 样本的立体声环写入 20 个样本：收下", int64_t(ring.Write(samples, 20, 1'000'000)), 8);
  r.Row("环满后再写 4 个样本：收下", int64_t(ring.Write(samples, 4, 2'000'000)), 0);
  r.Row("环头时间戳 = 第一次写入的时间戳", head.load(), 1'000'000);
  float taken[8];
  ring.Read(taken, 2);
  r.Row("读走 1 帧后环头时间戳前移 1/48000 秒", head.load(), 1'000'000 + 208);
  ring.Read(taken, 8);
  r.Row("读空后环头时间戳清零", head.load(), 0);
}

void SelfTestRateGate(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[23] 产出速率闸门（产出位置的变化率不能跟着上限两档跳）…");
  struct Clamp {
    const char* text;
    int64_t want, produced, elapsed, budget, rate, frames;
  } clamps[] = {
      {"墙钟上限：录音第一批（余量 200 ms）", 8192, 0, 0, 200 * kMs, 48000, 8192},
      {"墙钟上限：已超前 170 ms，预算 200 ms", 8192, 1170 * kMs, 1000 * kMs, 200 * kMs, 48000, 1440},
      {"墙钟上限：余量 80 ms", 8192, 0, 0, 80 * kMs, 48000, 3840},
      {"墙钟上限：余量 80 ms（44.1 kHz）", 8192, 0, 0, 80 * kMs, 44100, 3528},
      {"墙钟上限：余量 10 ms", 8192, 0, 0, 10 * kMs, 48000, 0},
      {"墙钟上限：余量正好 20 ms", 8192, 0, 0, 20 * kMs, 48000, 960},
      {"墙钟上限：采样率 0", 8192, 0, 0, 200 * kMs, 0, 0},
      {"墙钟上限：想要的比余量少", 100, 0, 0, 200 * kMs, 48000, 100},
      {"墙钟上限：余量为负", 8192, 900 * kMs, 0, 200 * kMs, 48000, 0},
  };
  for (const Clamp& k : clamps)
    r.Row(k.text, ClampToWallClock(k.want, k.produced, k.elapsed, k.budget, k.rate, 20 * kMs), k.frames);

  struct Cap {
    int64_t want, rate, cap, frames;
  } caps[] = {{8192, 48000, 40 * kMs, 1920}, {8192, 44100, 40 * kMs, 1764}, {480, 48000, 40 * kMs, 480},
              {1920, 48000, 40 * kMs, 1920}, {2304, 48000, 40 * kMs, 1920}, {2304, 0, 40 * kMs, 2304},
              {2304, 48000, 0, 2304}};
  for (const Cap& k : caps)
    r.Row(Format("单批 40 ms 上限：想要 %" PRId64 "，%" PRId64 " Hz，上限 %" PRId64 " ms", k.want, k.rate, k.cap / kMs),
          BatchDurationCap(k.want, k.rate, k.cap), k.frames);

  r.Row("超前预算（超前 200 ms，目标 25 ms）", LeadWithSlip(200 * kMs, 25 * kMs), 240 * kMs);
  r.Row("超前预算（超前 25 ms，目标 200 ms）", LeadWithSlip(25 * kMs, 200 * kMs), 240 * kMs);
  const int64_t target = 200 * kMs;
  r.Row("闸门方向：比目标少 10 ms", RateGateDirection(target - 10 * kMs, target), 0);
  r.Row("闸门方向：比目标多 10 ms", RateGateDirection(target + 10 * kMs, target), 0);
  r.Row("闸门方向：比目标少 10 ms 又 1 个刻度", RateGateDirection(target - 10 * kMs - 1, target), +1);
  r.Row("闸门方向：比目标多 10 ms 又 1 个刻度", RateGateDirection(target + 10 * kMs + 1, target), -1);

  struct Speed {
    const char* text;
    int direction;
    int64_t total;
  } speeds[] = {{"1.0 倍速：100 次 × 10 ms 放行", 0, 48000},
                {"1.2 倍速：100 次 × 10 ms 放行", +1, 57600},
                {"0.8 倍速：100 次 × 10 ms 放行", -1, 38016}};
  for (const Speed& s : speeds) {
    int64_t credit = 0, total = 0;
    for (int i = 0; i < 100; ++i) total += RateGate(8192, 10 * kMs, s.direction, &credit, 48000);
    r.Row(s.text, total, s.total);
  }
  int64_t credit = 0;
  r.Row("停顿 5 秒后一次最多补 200 ms", RateGate(100'000, 5 * 10'000'000, 0, &credit, 48000), 9600);
  credit = 5 * kMs;
  r.Row("额度不到 20 ms：放行", RateGate(8192, 10 * kMs, 0, &credit, 48000), 0);
  r.Row("额度不到 20 ms：额度留着（ms）", credit / kMs, 15);
  credit = 100 * kMs;
  r.Row("额度够时想要 480：放行", RateGate(480, 0, 0, &credit, 48000), 480);
  r.Row("放行 480 帧花掉 10 ms 额度：剩（ms）", credit / kMs, 90);
  credit = 123;
  r.Row("采样率 0：想要的原样放行", RateGate(777, 10 * kMs, 0, &credit, 0), 777);
  r.Row("采样率 0：额度不动", credit, 123);
  credit = 0;
  r.Row("空额度、间隔 20 ms、1.2 倍速", RateGate(8192, 20 * kMs, +1, &credit, 48000), 1152);
}

void SelfTestPlayHead(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[24] 指针显示（产出是离散的：阶梯要抹平，而且绝不能回退）…");
  const int64_t anchor = 1'000'000'000;
  struct Candidate {
    const char* text;
    int64_t anchorTime, now, rate, candidate;
  } candidates[] = {
      {"候选位置：还没有锚点", 0, anchor, 48000, 10000},
      {"候选位置：正在锚点上", anchor, anchor, 48000, 10000},
      {"候选位置：锚点后 5 ms", anchor, anchor + 5 * kMs, 48000, 10240},
      {"候选位置：锚点后 10 ms", anchor, anchor + 10 * kMs, 48000, 10480},
      {"候选位置：锚点后 80 ms", anchor, anchor + 80 * kMs, 48000, 13840},
      {"候选位置：锚点后 200 ms（只外推 120 ms）", anchor, anchor + 200 * kMs, 48000, 15760},
      {"候选位置：时钟在锚点之前", anchor, anchor - 5 * kMs, 48000, 10000},
      {"候选位置：采样率 0", anchor, anchor + 5 * kMs, 0, 10000},
  };
  for (const Candidate& k : candidates)
    r.Row(k.text, PointerCandidate(10000, k.anchorTime, k.now, k.rate), k.candidate);

  const int64_t budget = 5760;
  struct Servo {
    const char* text;
    int64_t displayed, candidate, nominal, next;
  } servos[] = {
      {"伺服一步（33 ms = 1584 帧）：同相", 10000, 10000, 1584, 11584},
      {"伺服一步：候选远在前面（1.15 倍）", 10000, 90000, 1584, 11821},
      {"伺服一步：候选落后 1000 帧（0.85 倍）", 10000, 9000, 1584, 11346},
      {"伺服一步：已超前 120 ms，不动", 10000 + budget, 10000, 1584, 10000 + budget},
      {"伺服一步：名义步长 0，不动", 10000, 90000, 0, 10000},
  };
  for (const Servo& k : servos) r.Row(k.text, ServoStep(k.displayed, k.candidate, k.nominal, budget), k.next);

  // 480-frame batches every 10 ms, repaints every 33 ms: once caught up the
  // display moves by exactly the nominal step although the written position
  // jumps by 1440 or 1920 frames.
  {
    ManualClock clock;
    PlayHeadServo servo(clock);
    servo.Reset();
    const std::vector<float> batch(480 * 2, 0.25f);
    int64_t lastDisplayed = 0, fewest = INT64_MAX, most = 0, backwards = 0;
    for (int64_t t = 0; t < 3000; ++t) {
      if (t % 10 == 0) servo.Feed(batch.data(), 480, 2);
      if (t % 33 == 0) {
        const int64_t displayed = servo.Repaint(48000);
        if (displayed < lastDisplayed) ++backwards;
        if (t > 1000) {
          fewest = std::min(fewest, displayed - lastDisplayed);
          most = std::max(most, displayed - lastDisplayed);
        }
        lastDisplayed = displayed;
      }
      clock.AdvanceMs(1);
    }
    r.Row("阶梯式写入、每 33 ms 重绘：追上后每次最少前进", fewest, 1584);
    r.Row("阶梯式写入、每 33 ms 重绘：追上后每次最多前进", most, 1584);
    r.Row("阶梯式写入：显示位置回退次数", backwards, 0);
  }
  // The written position stops: the display runs on to 120 ms ahead and stays.
  {
    ManualClock clock;
    PlayHeadServo servo(clock);
    servo.Reset();
    const std::vector<float> batch(480 * 2, 0.25f);
    servo.Feed(batch.data(), 480, 2);
    int64_t displayed = 0;
    for (int i = 0; i < 61; ++i) {
      clock.AdvanceMs(33);
      displayed = servo.Repaint(48000);
    }
    r.Row("写入停住后 60 次重绘：显示位置领先候选（帧）", displayed - (480 + 5760), 5760);
  }
  // A fill followed by a new anchor makes the candidate fall back.
  {
    ManualClock clock;
    PlayHeadServo servo(clock);
    servo.Reset();
    const std::vector<float> batch(480 * 2, 0.25f);
    servo.Feed(batch.data(), 480, 2);
    clock.AdvanceMs(100);
    const int64_t before = servo.Repaint(48000);
    servo.Feed(batch.data(), 480, 2);
    clock.AdvanceMs(1);
    const int64_t after = servo.Repaint(48000);
    r.Row("候选回落：记一次回退", servo.BackCount(), 1);
    BoolRow(r, "候选回落：显示位置没有后退", after >= before, true);
  }
}

void SelfTestPositionCap(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[25] 单路产出位置上限（超前多少，断流就得停多久）…");
  const int64_t elapsed = 3 * 10'000'000;
  const int64_t real = Frames(elapsed, 48000);
  struct Case {
    const char* text;
    int64_t produced, elapsed, rate, frames;
  } cases[] = {
      {"产出与墙钟持平：可再读 100 ms", elapsed, elapsed, 48000, 4800},
      {"产出已超前 100 ms：不能再读", FramesToTicks(real + 4800, 48000), elapsed, 48000, 0},
      {"产出落后 1 秒：读一整批", elapsed - 10'000'000, elapsed, 48000, 8192},
      {"采样率 0", 0, elapsed, 0, 0},
  };
  for (const Case& k : cases) r.Row(k.text, SingleRoomFrames(k.produced, k.elapsed, k.rate), k.frames);
  // The produced amount must go in as ticks: frames handed over as ticks
  // look 15 ms old and would let a whole batch through.
  r.Row("产出按帧数误当刻度传入时会放行（对照）", SingleRoomFrames(real + 4800, elapsed, 48000), 8192);
}

void SelfTestSessionLogRules(SelfTestContext& c) {
  SelfTestReport& r = c.report;
  r.Section("[26] 闪退取证：诊断包自足（上次是否正常结束 + 最近 N 份日志）…");
  struct Name {
    const char* name;
    bool accepted;
  } names[] = {
      {"VeskRecorder-20260921-165339-9380.log", true},
      {"VeskRecorder-20260921-165339-9380.log.prev", false},
      {"环境快照.txt", false},
      {"VeskRecorder-2026.log", false},
      {"notes-VeskRecorder-20260921-165339-9380.log", false},
      {"VeskRecorder-2026092X-165339-9380.log", false},
  };
  for (const Name& n : names) BoolRow(r, Format("会话日志名「%s」", n.name), IsSessionLogName(n.name), n.accepted);

  const std::vector<std::string> five = {
      "VeskRecorder-20260101-090000-1.log", "VeskRecorder-20260921-165339-9380.log",
      "VeskRecorder-20250505-120000-77.log", "VeskRecorder-20260921-165340-12.log",
      "VeskRecorder-20260301-000001-5.log"};
  const std::vector<std::string> newest = SelectNewestLogs(five, kDiagnosticsLogCount);
  BoolRow(r, Format("5 份里挑最新 %u 份，新的在前", kDiagnosticsLogCount),
          newest == std::vector<std::string>{five[3], five[1], five[4]}, true);
  r.Row("只有 2 份时挑 3 份", int64_t(SelectNewestLogs({five[0], five[2]}, 3).size()), 2);
  r.Row("一份都没有", int64_t(SelectNewestLogs({}, 3).size()), 0);
  const std::vector<std::string> one = SelectNewestLogs(five, 1);
  BoolRow(r, "N = 1 时只取最新那份", one.size() == 1 && one[0] == five[3], true);

  const std::string running = "\xEF\xBB\xBF" "16:53:39.120 [tid=9380] [rec] 开始录音\r\n"
                              "16:53:41.004 [tid=9412] [mix] MIX pace=123 1src=1 avM=480\r\n";
  // The end line exactly as AppLogShutdown writes it.
  const std::string ended = running + "16:53:45.876 [tid=9380] " + kLogEndMarker + "\r\n";
  BoolRow(r, Format("以收尾标记「%s」结束的日志判为正常结束", kLogEndMarker), LogTailShowsCleanEnd(ended), true);
  BoolRow(r, "写到一半断掉的日志判为正常结束", LogTailShowsCleanEnd(running + "16:53:42.3"), false);
  BoolRow(r, "空日志判为正常结束", LogTailShowsCleanEnd(""), false);
  r.Row("诊断包带的日志份数", kDiagnosticsLogCount, 3);
}

}  // namespace vesk
