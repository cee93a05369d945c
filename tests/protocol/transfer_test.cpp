// Block transfer: CRC, frame layout per model group, filler, block numbers,
// progress and the per-frame retry budget.
#include "protocol/transfer.h"

#include <cstring>

#include "protocol/result_codes.h"
#include "protocol_fixture.h"

namespace {

uint32_t CrcOf(const std::string& text) {
  return CRC(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
}

TEST(Crc, KnownVectors) {
  EXPECT_EQ(CrcOf("123456789"), 0x31C3u);
  EXPECT_EQ(CrcOf("abc"), 0x9DD6u);
  EXPECT_EQ(CrcOf(std::string(256, '\x1A')), 0x83C2u);
  EXPECT_EQ(CrcOf(std::string(1, '\0')), 0u);
  EXPECT_EQ(CrcOf(std::string(256, '\0')), 0u);
  EXPECT_EQ(CRC(nullptr, 0), 0u);
}

TEST(Crc, TableEntries) {
  EXPECT_EQ(CrcTableEntry(0), 0x0000);
  EXPECT_EQ(CrcTableEntry(1), 0x1021);
  EXPECT_EQ(CrcTableEntry(2), 0x2042);
  EXPECT_EQ(CrcTableEntry(255), 0x1EF0);
  // Entry i is the CRC of the single byte i.
  for (int i = 0; i < 256; ++i) {
    const auto byte = static_cast<uint8_t>(i);
    EXPECT_EQ(CRC(&byte, 1), CrcTableEntry(i)) << i;
  }
}

struct LayoutCase {
  const char* model;
  uint32_t length;
  int32_t dataSize;
  int32_t blocks;
};

TEST(BlockLayout, SizeAndCountPerGroup) {
  const LayoutCase cases[] = {
      {"VM500", 2076672, 256, 8096}, {"VM600", 10000, 256, 24},
      {"KT5", 4096 + 512, 256, 2},   {"BRK-T", 4097, 256, 1},
      {"VM400", 4096, 256, 0},       {"VM500", 4095, 256, 0},
      {"VM500", 0, 256, 0},          {"LN", 512, 256, 2},
      {"LN-P", 513, 256, 3},         {"VM500-AIO", 40960, 256, 160},
      {"RV5-AIO", 1, 256, 1},        {"36RV4-AIO", 12288, 256, 48},
      {"KT4-RV4", 1000, 128, 8},     {"LN30", 256, 128, 2},
      {"KT4-W", 524288, 128, 4096},  {"TW5", 0, 128, 0},
      {"RV4-TRK", 129, 128, 2},
  };
  for (const LayoutCase& c : cases) {
    const BlockLayout layout = BlockLayoutOf(PlcIndexByName(c.model), c.length);
    EXPECT_EQ(layout.dataSize, c.dataSize) << c.model << " " << c.length;
    EXPECT_EQ(layout.blockCount, c.blocks) << c.model << " " << c.length;
  }
}

// A frame as it must be: STX, number, complement, data, CRC high and low.
void ExpectFrame(const Bytes& frame, uint8_t number, const uint8_t* data, uint32_t dataSize,
                 uint32_t imageBytes) {
  ASSERT_EQ(frame.size(), dataSize + 5);
  EXPECT_EQ(frame[0], kStx);
  EXPECT_EQ(frame[1], number);
  EXPECT_EQ(frame[2], 255 - number);
  EXPECT_EQ(std::memcmp(frame.data() + 3, data, imageBytes), 0) << "frame " << int{number};
  for (uint32_t i = imageBytes; i < dataSize; ++i) ASSERT_EQ(frame[3 + i], kFiller) << i;
  const uint32_t crc = CRC(frame.data() + 3, dataSize);
  EXPECT_EQ(frame[3 + dataSize], crc >> 8);
  EXPECT_EQ(frame[4 + dataSize], crc & 0xFF);
}

struct TransferCase {
  const char* model;
  uint32_t length;
  uint32_t dataSize;
  uint32_t frames;
  uint32_t lastImageBytes;  // image bytes in the last frame; the rest is filler
};

void PrintTo(const TransferCase& c, std::ostream* os) {
  *os << c.model << " " << c.length;
}

class TransferTest : public ProtocolTest, public ::testing::WithParamInterface<TransferCase> {};

TEST_P(TransferTest, FramesCarryTheImageInOrder) {
  const TransferCase& c = GetParam();
  Select(c.model);
  UseImage(c.length);
  AnswerAlways({kAck});
  EXPECT_EQ(SendFW(link_), kResultOk);
  const std::vector<Bytes> writes = wire_.Writes();
  ASSERT_EQ(writes.size(), c.frames + 1);
  for (uint32_t f = 0; f < c.frames; ++f) {
    const bool last = f + 1 == c.frames;
    ExpectFrame(writes[f], static_cast<uint8_t>(f + 1), image_.data() + f * c.dataSize, c.dataSize,
                last ? c.lastImageBytes : c.dataSize);
  }
  EXPECT_EQ(writes.back(), B({kEot}));
  EXPECT_EQ(Trace(wire_).front(), "long");
  EXPECT_EQ(flashStatus, kFlashProgramming);
  EXPECT_EQ(progress, 100);
  EXPECT_EQ(errCounter, 0);
  // The cursor stands behind the last byte sent.
  const uint32_t sent = (c.frames == 0) ? 0 : (c.frames - 1) * c.dataSize + c.lastImageBytes;
  EXPECT_EQ(fin, image_.data() + sent);
}

INSTANTIATE_TEST_SUITE_P(
    Protocol, TransferTest,
    ::testing::Values(TransferCase{"VM500", 10000, 256, 24, 16},  // bytes 5,888 to 5,903
                      TransferCase{"KT4-RV4", 1000, 128, 8, 104},
                      TransferCase{"LN", 512, 256, 2, 256},        // multiple of N: no filler
                      TransferCase{"LN30", 300, 128, 3, 44},       // USB, but 128-byte frames
                      TransferCase{"36RV4-AIO", 300, 256, 2, 44},  // serial, 256-byte frames
                      TransferCase{"VM600", 4096, 256, 0, 0},      // no frame, EOT at once
                      TransferCase{"VM400", 1000, 256, 0, 0}));    // too short: nothing sent

// The embedded image on the VM group: 8,096 full frames, the last 4 KB kept
// back, block numbers wrapping at 256, progress with divisor B + 1.
TEST_F(ProtocolTest, EmbeddedImageOnTheVmGroup) {
  Select("VM500");
  const FirmwareImage image = EmbeddedFirmwareImage();
  ASSERT_EQ(image.length, 2076672u);
  ASSERT_TRUE(LoadImage(image));
  std::vector<int> progressAtWrite;
  wire_.SetResponder([&](TestWire& wire, const Bytes&) {
    progressAtWrite.push_back(progress);
    wire.Reply(B({kAck}));
  });
  EXPECT_EQ(SendFW(link_), kResultOk);
  const std::vector<Bytes> writes = wire_.Writes();
  ASSERT_EQ(writes.size(), 8097u);
  ExpectFrame(writes[0], 1, image.data, 256, 256);
  ExpectFrame(writes[254], 255, image.data + 254 * 256, 256, 256);
  ExpectFrame(writes[255], 0x00, image.data + 255 * 256, 256, 256);
  ExpectFrame(writes[256], 0x01, image.data + 256 * 256, 256, 256);
  ExpectFrame(writes[8095], static_cast<uint8_t>(8096), image.data + 2072320, 256, 256);
  EXPECT_EQ(writes[8096], B({kEot}));
  EXPECT_EQ(fin, image.data + 2072576);
  // progressAtWrite[k] is the value after k acknowledgements.
  EXPECT_EQ(progressAtWrite[80], 0);
  EXPECT_EQ(progressAtWrite[81], 1);
  EXPECT_EQ(progressAtWrite[8096], 99);
  EXPECT_EQ(progress, 100);
}

TEST_F(ProtocolTest, FrameRepeatedUnchangedUntilAcknowledged) {
  Select("KT4-RV4");
  UseImage(1000);
  // Frame 2 is refused five times, then taken.
  int writes = 0;
  wire_.SetResponder([&](TestWire& wire, const Bytes&) {
    ++writes;
    wire.Reply(B({writes >= 2 && writes <= 6 ? kNak : kAck}));
  });
  totalErrCounter = 1;
  EXPECT_EQ(SendFW(link_), kResultOk);
  const std::vector<Bytes> sent = wire_.Writes();
  ASSERT_EQ(sent.size(), 8u + 5u + 1u);
  for (int i = 2; i <= 6; ++i) EXPECT_EQ(sent[static_cast<size_t>(i)], sent[1]);
  ExpectFrame(sent[1], 2, image_.data() + 128, 128, 128);
  ExpectFrame(sent[7], 3, image_.data() + 256, 128, 128);
  EXPECT_EQ(totalErrCounter, 1 + 5);
  EXPECT_EQ(errCounter, 0);
}

TEST_F(ProtocolTest, SixRefusalsEndTheTransfer) {
  Select("KT4-RV4");
  UseImage(1000);
  int writes = 0;
  std::vector<int> errAtWrite;
  wire_.SetResponder([&](TestWire& wire, const Bytes&) {
    errAtWrite.push_back(errCounter);
    wire.Reply(B({++writes == 1 ? kAck : kNak}));
  });
  EXPECT_EQ(SendFW(link_), kResultBootFailure);
  EXPECT_EQ(wire_.Writes().size(), 1u + 6u);  // no later frame, no EOT
  EXPECT_EQ(errCounter, 6);
  EXPECT_EQ(totalErrCounter, 6);
  EXPECT_EQ(flashStatus, kFlashProgramming);
  EXPECT_EQ(progress, 100 / 9);
  // errCounter starts from 0 for the second frame.
  EXPECT_EQ(errAtWrite, (std::vector<int>{0, 0, 1, 2, 3, 4, 5}));
  // The cursor stands behind the data of the frame that failed.
  EXPECT_EQ(fin, image_.data() + 256);
}

TEST_F(ProtocolTest, UnacknowledgedEotFails) {
  Select("LN");
  UseImage(256);
  // Six answers to the EOT that are not an ACK; the ACK behind the last one
  // comes a byte too late.
  Answer({"\x06", "", "\x15", "\x04", std::string(1, '\0'), "A", "\x15\x06"});
  EXPECT_EQ(SendFW(link_), kResultBootFailure);
  EXPECT_EQ(wire_.Writes().size(), 1u + 6u);
  EXPECT_EQ(progress, 50);
}

TEST_F(ProtocolTest, ShortFrameWriteIsAFailedWrite) {
  Select("LN");
  UseImage(256);
  int writes = 0;
  wire_.SetWritePolicy([&](uint32_t n) { return ++writes == 1 ? n - 1 : n; });
  AnswerAlways({kAck});
  EXPECT_EQ(SendFW(link_), kResultOk);
  const std::vector<Bytes> sent = wire_.Writes();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].size(), 260u);
  ExpectFrame(sent[1], 1, image_.data(), 256, 256);
  EXPECT_EQ(totalErrCounter, 1);
}

}  // namespace
