// The device catalogue against a real (private) PulseAudio server.
#include <atomic>
#include <chrono>
#include <thread>

#include "audio/audio_backend.h"
#include "audio/device_catalogue.h"
#include "audio/linux/pulse_fixture.h"
#include "platform/clock.h"

namespace vesk {
namespace {

using test::PulseTest;

const DeviceEntry* Find(const std::vector<DeviceEntry>& v, const std::string& id) {
  for (const auto& e : v)
    if (e.id == id) return &e;
  return nullptr;
}

TEST_F(PulseTest, ListsSourcesWithoutMonitorsThenSinksWithDefaults) {
  auto backend = CreateAudioDeviceBackend();
  const auto entries = backend->Enumerate();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].id, "Microphone");
  EXPECT_FALSE(entries[0].loopback);
  EXPECT_TRUE(entries[0].isDefault);
  EXPECT_EQ(entries[1].name, "Speakers");
  EXPECT_TRUE(entries[1].loopback);
  EXPECT_TRUE(entries[1].isDefault);
  EXPECT_EQ(entries[2].name, "Headphones");
  EXPECT_FALSE(entries[2].isDefault);
  EXPECT_EQ(backend->GetMixRate("Headphones", true), 48000u);
  EXPECT_EQ(backend->GetMixRate("", false), 48000u);
  EXPECT_EQ(backend->GetMixRate("NoSuchSink", true), 0u);

  DeviceCatalogue catalogue(*backend);
  catalogue.Build();
  EXPECT_EQ(catalogue.List(DeviceFlow::Capture).texts,
            (std::vector<std::string>{"系统默认-" + entries[0].name, entries[0].name, "无输入"}));
  EXPECT_EQ(catalogue.List(DeviceFlow::Render).texts,
            (std::vector<std::string>{"系统默认-Speakers", "Speakers", "Headphones"}));
}

TEST_F(PulseTest, PinnedSinkUnloadedShowsUnconnectedAndComesBackRestored) {
  auto backend = CreateAudioDeviceBackend();
  DeviceCatalogue catalogue(*backend);
  catalogue.Build();
  const int headphones = int(Find(catalogue.Entries(), "Headphones") - catalogue.Entries().data());
  EXPECT_EQ(catalogue.Select(DeviceFlow::Render, headphones), "播放设备已固定为「Headphones」，系统默认变化不再跟随。");

  ASSERT_TRUE(daemon_->Unload(daemon_->HeadphonesModule()));
  EXPECT_EQ(catalogue.Refresh(), "「Headphones」已不可用（播放设备），恢复后会自动继续用它。");
  const DeviceList& gone = catalogue.List(DeviceFlow::Render);
  EXPECT_EQ(gone.texts[size_t(gone.selected)], "【未连接】Headphones");
  EXPECT_EQ(gone.SelectedValue(), kItemMissingPinned);

  daemon_->HeadphonesModule() = daemon_->Load("module-null-sink sink_name=Headphones rate=48000 "
                                              "sink_properties=device.description=Headphones");
  ASSERT_GE(daemon_->HeadphonesModule(), 0);
  EXPECT_EQ(catalogue.Refresh(), "「Headphones」已恢复可用（播放设备）。");
  const DeviceList& back = catalogue.List(DeviceFlow::Render);
  EXPECT_EQ(back.texts[size_t(back.selected)], "Headphones");
  EXPECT_EQ(ResolveSelection(catalogue.Entries(), DeviceFlow::Render, back.SelectedValue())->id, "Headphones");
}

TEST_F(PulseTest, FollowedDefaultChangeIsReportedWithTheNewName) {
  auto backend = CreateAudioDeviceBackend();
  DeviceCatalogue catalogue(*backend);
  catalogue.Build();
  ASSERT_EQ(test::Shell("pactl set-default-sink Headphones"), 0);
  EXPECT_EQ(catalogue.Refresh(), "已跟随系统默认切到「Headphones」（播放设备）。");
}

TEST_F(PulseTest, ServerChangesRaiseTheChangedFlagFromTheServerThread) {
  auto backend = CreateAudioDeviceBackend();
  DeviceRefreshGate gate;
  ASSERT_TRUE(backend->StartNotifications([&] { gate.Notify(TickMs()); }));
  ASSERT_GE(daemon_->Load("module-null-sink sink_name=Extra sink_properties=device.description=Extra"), 0);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!gate.Pending() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(gate.Pending());
  EXPECT_FALSE(gate.ShouldRefresh(TickMs() + 1000, true)) << "never while recording";
  EXPECT_TRUE(gate.ShouldRefresh(TickMs() + 1000, false));
  backend->StopNotifications();
}

}  // namespace
}  // namespace vesk
