// The link's floor: the least a stop-and-wait sender can do per block on a
// tty.  Every 261-byte frame of an image (VM group layout) is built before
// the clock starts; then each block costs one write of the frame and one
// blocking read of the ACK.  Run against plcsim in its bootloader: "UPDATE",
// the frames, EOT.
//
//   bench_floor --port PATH --image FILE
//
// Prints one line: blocks, seconds of the frame loop, microseconds per block.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "protocol/transfer.h"

// The entry point is global; what it calls is the project's.
using namespace plc;

namespace {

constexpr size_t kData = 256;
constexpr size_t kFrame = kData + 5;

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

bool ReadFile(const char* path, std::vector<uint8_t>* out) {
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  uint8_t buf[65536];
  size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  (void)std::fclose(f);
  return true;
}

// Waits up to 3 s for the one-byte answer to a command (not in the loop).
bool AwaitAck(int fd) {
  pollfd p{fd, POLLIN, 0};
  uint8_t b = 0;
  return poll(&p, 1, 3000) == 1 && read(fd, &b, 1) == 1 && b == 0x06;
}

bool WriteAll(int fd, const uint8_t* data, size_t n) {
  return write(fd, data, n) == static_cast<ssize_t>(n);
}

}  // namespace

int main(int argc, char** argv) {
  const char* port = nullptr;
  const char* imagePath = nullptr;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--port") == 0) port = argv[i + 1];
    if (std::strcmp(argv[i], "--image") == 0) imagePath = argv[i + 1];
  }
  std::vector<uint8_t> image;
  if (port == nullptr || imagePath == nullptr || !ReadFile(imagePath, &image) ||
      image.size() <= 4096) {
    (void)std::fprintf(stderr,
                       "usage: bench_floor --port PATH --image FILE (more than 4,096 bytes)\n");
    return 2;
  }
  // The VM group's layout: the image less its last 4,096 bytes, 256-byte
  // blocks, the last one padded with 0x1A.
  const size_t sendLength = image.size() - 4096;
  const size_t blocks = (sendLength + kData - 1) / kData;
  std::vector<uint8_t> frames(blocks * kFrame, 0x1A);
  for (size_t c = 0; c < blocks; ++c) {
    uint8_t* f = &frames[c * kFrame];
    f[0] = 0x02;
    f[1] = static_cast<uint8_t>(c + 1);
    f[2] = static_cast<uint8_t>(255 - f[1]);
    const size_t take = sendLength - c * kData < kData ? sendLength - c * kData : kData;
    std::memcpy(f + 3, &image[c * kData], take);
    const uint32_t crc = CRC(f + 3, kData);
    f[3 + kData] = static_cast<uint8_t>(crc >> 8);
    f[4 + kData] = static_cast<uint8_t>(crc);
  }

  const int fd = open(port, O_RDWR | O_NOCTTY);
  termios t{};
  if (fd < 0 || tcgetattr(fd, &t) != 0) {
    std::perror("bench_floor: open");
    return 1;
  }
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, B115200);
  cfsetospeed(&t, B115200);
  tcsetattr(fd, TCSANOW, &t);
  tcflush(fd, TCIFLUSH);

  static const uint8_t kUpdate[] = {'U', 'P', 'D', 'A', 'T', 'E'};
  if (!WriteAll(fd, kUpdate, sizeof kUpdate) || !AwaitAck(fd)) {
    (void)std::fprintf(stderr, "bench_floor: no ACK to UPDATE\n");
    return 1;
  }

  const double start = Now();
  for (size_t c = 0; c < blocks; ++c) {
    uint8_t ack = 0;
    if (!WriteAll(fd, &frames[c * kFrame], kFrame) || read(fd, &ack, 1) != 1 || ack != 0x06) {
      (void)std::fprintf(stderr, "bench_floor: block %zu not acknowledged\n", c + 1);
      return 1;
    }
  }
  const double seconds = Now() - start;

  static const uint8_t kEotByte[] = {0x04};
  if (!WriteAll(fd, kEotByte, 1) || !AwaitAck(fd)) {
    (void)std::fprintf(stderr, "bench_floor: no ACK to EOT\n");
    return 1;
  }
  close(fd);
  std::printf("floor blocks=%zu seconds=%.6f us_per_block=%.2f\n", blocks, seconds,
              seconds * 1e6 / static_cast<double>(blocks));
  return 0;
}
