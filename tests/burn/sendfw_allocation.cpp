// Nothing is allocated while the image is transferred.  This binary replaces
// the global operator new to count the calls made while counting is armed.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "sim_bench.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
  void* p = std::malloc(size != 0 ? size : 1);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

// A bootloader that acknowledges every block frame and the EOT, storing the
// data in room reserved up front; it allocates nothing itself.
class AckLink : public Link {
 public:
  explicit AckLink(size_t capacity) { received.reserve(capacity); }
  uint32_t Write(const uint8_t* data, uint32_t count) override {
    if (count > 5 && data[0] == 0x02) {
      received.insert(received.end(), data + 3, data + count - 2);
      ++frames;
    }
    pendingAck = true;
    return count;
  }
  uint32_t Read(uint8_t* buffer, uint32_t count) override {
    if (count == 0 || !pendingAck) return 0;
    pendingAck = false;
    buffer[0] = 0x06;
    return 1;
  }
  void ApplyLineSettings(const LineSettings&) override {}
  void ApplyTimeouts(const Timeouts&) override {}

  std::vector<uint8_t> received;
  int frames = 0;
  bool pendingAck = false;
};

struct Case {
  const char* model;
  uint32_t length;
};

TEST(SendFwAllocation, NoneDuringTheTransfer) {
  for (const Case& c : {Case{"VM500", 0x1FB000}, Case{"KT4-RV4", 1000}, Case{"LN", 40000}}) {
    const int row = PlcIndexByName(c.model);
    ResetRunState();
    SelectModel(row);
    const std::vector<uint8_t> image = PatternImage(c.length);
    ASSERT_TRUE(LoadImage({image.data(), c.length}));
    AckLink link(c.length + 256);

    allocations = 0;
    counting = true;
    const uint8_t result = SendFW(&link);
    counting = false;

    EXPECT_EQ(result, 0) << c.model;
    EXPECT_EQ(allocations.load(), 0) << c.model;
    EXPECT_EQ(link.received, Padded(SentPart(image, row), row)) << c.model;
    CloseFile();
    ClearStatusValues();
  }
}

// A whole run against the simulator, counting from the moment the first
// block frame goes out (flashStatus is 2) until the success box.
class CountingLink : public Link {
 public:
  explicit CountingLink(LinkHandle inner) : inner_(inner) {}
  ~CountingLink() override { delete inner_; }
  uint32_t Write(const uint8_t* data, uint32_t count) override {
    if (flashStatus == kFlashProgramming) counting = true;
    return inner_->Write(data, count);
  }
  uint32_t Read(uint8_t* buffer, uint32_t count) override { return inner_->Read(buffer, count); }
  void ApplyLineSettings(const LineSettings& s) override { inner_->ApplyLineSettings(s); }
  void ApplyTimeouts(const Timeouts& t) override { inner_->ApplyTimeouts(t); }

 private:
  LinkHandle inner_;
};

class CountingHost : public SimHost {
 public:
  using SimHost::SimHost;
  LinkHandle OpenUsbLink() override {
    LinkHandle link = SimHost::OpenUsbLink();
    return link == kNoLink ? kNoLink : new CountingLink(link);
  }
  void ShowMessage(const char* text, const char* caption, BoxIcon icon) override {
    if (counting) {
      counting = false;
      countedAtBox = allocations.load();
    }
    SimHost::ShowMessage(text, caption, icon);
  }
  long countedAtBox = -1;
};

TEST(SendFwAllocation, NoneFromTheFirstFrameToTheSuccessBox) {
  const int row = PlcIndexByName("VM500");
  ResetRunState();
  SelectModel(row);
  VirtualClock clock;
  TestWire wire(&clock);
  auto sim = std::make_unique<PlcSim>();
  SimInit(*sim, PassingConfig(row));
  SimLinkPair pair(sim.get(), &clock.nowMs);
  CountingHost host(&wire, &pair);
  allocations = 0;
  StartBurn(host);
  EXPECT_EQ(host.Messages().back(), "Firmware update is SUCCESSFUL!, please REPLUG the USB cable");
  EXPECT_EQ(host.countedAtBox, 0);
  EXPECT_TRUE(SimTransferOk(*sim));
}

}  // namespace
