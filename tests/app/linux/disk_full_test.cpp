// Saves and video exports that run out of room midway over a file the user
// already has: the file stays byte for byte, nothing of the attempt is left
// in its folder, and the user reads that the disk is full. The disk fills at
// a file-size limit (RLIMIT_FSIZE, with SIGXFSZ ignored so writes fail with
// EFBIG instead of killing the writer); ffmpeg inherits both.
#include <signal.h>
#include <sys/resource.h>

#include "doc/audio_doc.h"
#include "doc/doc_test_clips.h"
#include "video/ffmpeg_export.h"
#include "video/linux/video_media.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    handler_ = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_;
    small.rlim_cur = bytes;
    ok_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, handler_);
  }
  bool ok() const { return ok_; }

 private:
  struct rlimit old_ {};
  sighandler_t handler_;
  bool ok_ = false;
};

constexpr char kDiskFull[] = "磁盘可能已满";

struct Attempt {
  const char* name;
  const char* target;
  rlim_t limit;
};

class DiskFull : public test::VideoTest {
 protected:
  void Check(const Attempt& c, const std::function<bool(const fs::path&, std::string&)>& run) {
    const fs::path folder = dir / "out";
    fs::create_directories(folder);
    const fs::path target = folder / c.target;
    const std::string before(3 << 20, 'x');  // larger than any limit: the attempt cannot extend it
    test::WriteText(target, before);
    const auto entries = Entries(folder);
    std::string error;
    bool ok;
    {
      FileSizeLimit limit(c.limit);
      ASSERT_TRUE(limit.ok());
      ok = run(target, error);
    }
    EXPECT_FALSE(ok) << c.name;
    EXPECT_NE(error.find(kDiskFull), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(test::ReadText(target), before) << c.name;
    EXPECT_EQ(Entries(folder), entries) << c.name;
  }
  static std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(DiskFull, SavesKeepTheFileTheyWouldReplace) {
  AudioDoc doc;
  test::AdoptClip(doc, test::Sine(48000 * 20, 2, 440, 48000, 0.5, 1.0));  // 3.8 MB as 16-bit WAV
  const AudioFormat float32{0, 2, 32};
  for (const Attempt& c : {Attempt{"wav16", "take.wav", 1 << 20}, Attempt{"wav32", "take.wav", 2 << 20},
                           Attempt{"mp3", "take.mp3", 64 << 10}}) {
    const bool mp3 = std::string(c.name) == "mp3";
    Check(c, [&](const fs::path& target, std::string& error) {
      return doc.Save(target, mp3, 128, error, std::string(c.name) == "wav32" ? &float32 : nullptr);
    });
  }
}

TEST_F(DiskFull, VideoExportsKeepTheFileTheyWouldReplace) {
  // 2 s of noise, lossless: a picture of several megabytes that ffmpeg
  // copies, beside 2 s of audio (0.8 MB as the temporary 32-bit WAV).
  const fs::path source = dir / "noise.mp4";
  test::Make("-f lavfi -i 'nullsrc=s=320x240:r=25:d=2,geq=random(1)*255:128:128' -f lavfi -i sine=r=48000:d=2 "
             "-c:v libx264 -qp 0 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest " +
             test::Q(source));
  ASSERT_GT(fs::file_size(source), 4u << 20);
  AudioDoc doc;
  test::AdoptClip(doc, test::Sine(96000, 2, 440, 48000, 0.5, 1.0));
  // The first limit stops the program's own temporary audio, the second
  // stops ffmpeg while it writes the picture.
  for (const Attempt& c : {Attempt{"temporary audio", "out.mp4", 256 << 10}, Attempt{"ffmpeg", "out.mp4", 2 << 20}}) {
    Check(c, [&](const fs::path& target, std::string& error) {
      fs::path actual;
      return ExportVideoEditedViaFfmpeg("/usr/bin/ffmpeg", source, doc.CopySamples(), doc.Format(), {}, target, actual,
                                        error, nullptr, {});
    });
  }
}

// A long decode with no room for its spill file opens in memory, as it
// always did, and reads the same.
TEST_F(DiskFull, ALongDecodeWithoutRoomForItsSpillFileOpensInMemory) {
  const fs::path source = dir / "tone.flac";
  test::Make("-f lavfi -i sine=r=48000:d=12 -ac 2 " + test::Q(source));
  AudioDoc spilled, inMemory;
  std::string error;
  ASSERT_TRUE(spilled.Load(source, error, 1 << 20)) << error;
  {
    FileSizeLimit limit(2 << 20);
    ASSERT_TRUE(limit.ok());
    ASSERT_TRUE(inMemory.Load(source, error, 1 << 20)) << error;
  }
  uint64_t run = 0;
  EXPECT_NE(inMemory.Samples().Span(0, run), nullptr);
  EXPECT_EQ(inMemory.CopySamples(), spilled.CopySamples());
}

}  // namespace
}  // namespace vesk
