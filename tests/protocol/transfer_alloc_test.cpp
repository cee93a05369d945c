// Nothing is allocated while the image goes out: a counting operator new
// watches SendFW over the whole embedded image.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "engine/image.h"
#include "engine/models.h"
#include "engine/run_state.h"
#include "protocol/result_codes.h"
#include "protocol/transfer.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (counting.load()) ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

// Takes every frame whole and acknowledges it, without touching the heap.
class AckLink : public Link {
 public:
  uint32_t Write(const uint8_t* data, uint32_t count) override {
    frames += data[0] == kStx ? 1 : 0;
    return count;
  }
  uint32_t Read(uint8_t* buffer, uint32_t count) override {
    if (count == 0) return 0;
    buffer[0] = kAck;
    return 1;
  }
  void ApplyLineSettings(const LineSettings&) override {}
  void ApplyTimeouts(const Timeouts&) override {}
  long frames = 0;
};

TEST(SendFWAllocation, NoAllocationDuringTransfer) {
  SelectModel(PlcIndexByName("VM500"));
  ASSERT_TRUE(LoadImage(EmbeddedFirmwareImage()));
  AckLink link;
  counting = true;
  const uint8_t result = SendFW(&link);
  counting = false;
  EXPECT_EQ(result, kResultOk);
  EXPECT_EQ(link.frames, 8096);
  EXPECT_EQ(allocations.load(), 0);
  ClearStatusValues();
}

}  // namespace
