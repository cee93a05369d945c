// Block transfer: frame layout per model group, filler, block numbers,
// progress, the CRC, and no allocation on the way.
#include <atomic>
#include <cstdlib>
#include <new>

#include "protocol_fixture.h"

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

namespace plc {

namespace {

// The published CRC-16/XMODEM check value, and an empty block.
TEST(Crc, XmodemCheckValue) {
  const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(Ints(CRC(check, 9), CRC(check, 0)), Ints(0x31C3, 0));
}

// A frame as it must be: STX, number, complement, data, filler, CRC high and low.
void ExpectFrame(const Bytes& frame, uint8_t number, const uint8_t* data, uint32_t size,
                 uint32_t imageBytes) {
  ASSERT_EQ(frame.size(), size + 5);
  Bytes want = {kStx, number, static_cast<uint8_t>(255 - number)};
  want.insert(want.end(), data, data + imageBytes);
  want.resize(size + 3, kFiller);
  const uint32_t crc = CRC(want.data() + 3, size);
  want.insert(want.end(), {static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc & 0xFF)});
  EXPECT_EQ(frame, want) << "frame " << int{number};
}

// Rows: model, image length, N, B, image bytes in the last frame (then filler).
// Numbers wrap at 256; progress runs over B + 1: 1 after 81 ACKs when B = 8,096.
TEST_F(ProtocolTest, FramesCarryTheImageInOrder) {
  const std::tuple<const char*, uint32_t, uint32_t, uint32_t, uint32_t> cases[] = {
      // clang-format off
      {"VM500", 2076672, 256, 8096, 256}, {"KT4-W", 524288, 128, 4096, 128},
      {"VM500", 10000, 256, 24, 16},  // bytes 5,888 to 5,903
      {"KT4-RV4", 1000, 128, 8, 104}, {"LN", 512, 256, 2, 256}, {"LN30", 300, 128, 3, 44},
      {"36RV4-AIO", 300, 256, 2, 44}, {"VM600", 4096, 256, 0, 0}, {"VM400", 1000, 256, 0, 0},
      // clang-format on
  };
  for (const auto& [model, length, size, frames, lastBytes] : cases) {
    SCOPED_TRACE(model);
    Reset(model, length);
    const BlockLayout layout = BlockLayoutOf(PlcIndexByName(model), length);
    EXPECT_EQ(Ints(layout.dataSize, layout.blockCount), Ints(size, frames));
    std::vector<int> progressAtWrite;
    wire_->SetResponder([&](TestWire& w, const Bytes&) {
      progressAtWrite.push_back(run_->progress), w.Reply("\x06");
    });
    EXPECT_EQ(SendFW(*run_), kResultOk);
    const std::vector<Bytes> writes = wire_->Writes();
    ASSERT_EQ(writes.size(), frames + 1);
    for (uint32_t f = 0; f < frames; ++f)
      ExpectFrame(writes[f], uint8_t(f + 1), image_.data() + f * size, size,
                  f + 1 == frames ? lastBytes : size);
    EXPECT_EQ(writes.back(), Bytes{kEot});
    EXPECT_EQ(Ints(run_->progress, run_->flashStatus), Ints(100, kFlashProgramming));
    EXPECT_EQ(run_->fin, image_.data() + (frames ? (frames - 1) * size + lastBytes : 0));
    if (frames == 8096) {  // progress 1 after 81 ACKs, 99 before the EOT
      EXPECT_EQ(std::vector<int>({progressAtWrite[80], progressAtWrite[81], progressAtWrite[8096]}),
                std::vector<int>({0, 1, 99}));
    }
  }
}

TEST(SendFW, AllocatesNothing) {
  struct AckLink : Link {
    uint32_t Write(const uint8_t*, uint32_t count) override { return count; }
    uint32_t Read(uint8_t* b, uint32_t count) override { return count ? (*b = kAck, 1) : 0; }
    void ApplyLineSettings(const LineSettings&) override {}
    void ApplyTimeouts(const Timeouts&) override {}
  } ack;
  plc::Run run;
  run.SelectModel(PlcIndexByName("VM500"));
  ASSERT_TRUE(run.LoadFirmware(EmbeddedFirmwareImage()));
  run.hSerial.reset(&ack);  // lent: given back below, never closed
  counting = true;
  EXPECT_EQ(SendFW(run), kResultOk);
  counting = false;
  (void)run.hSerial.release();
  EXPECT_EQ(allocations.load(), 0);
}

}  // namespace

}  // namespace plc
