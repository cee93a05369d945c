// The port list and the USB device search on fake sysfs trees; the run-long
// holds in a test lock folder; who has a busy port open, on fake procfs trees.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "port/link_posix.h"
#include "port/port_hold.h"
#include "port/ports.h"
#include "port/sysfs_linux.h"

namespace plc {

namespace {

namespace fs = std::filesystem;

// A sysfs tree in a temporary folder with ttys ("name" or "name:UART type",
// each with a device behind it) and USB devices ("name vendor:product tty",
// the tty below an interface, "-" for none).
struct FakeSysfs {
  FakeSysfs(const std::vector<std::string>& ttys, const std::vector<std::string>& usb) {
    std::string pattern = ::testing::TempDir() + "sysfsXXXXXX";
    root = mkdtemp(pattern.data());
    Write("class/tty/console/dev", "5:1\n");           // no device: not a port
    Write("bus/usb/devices/usb1/idVendor", "1d6b\n");  // a root hub: no interface
    for (const std::string& t : ttys) {
      const std::string name = t.substr(0, t.find(':'));
      if (name != t) Write("class/tty/" + name + "/type", t.substr(name.size() + 1));
      fs::create_directories(root / "class/tty" / name);
      fs::create_symlink("../../../devices/x/" + name, root / "class/tty" / name / "device");
    }
    for (const std::string& d : usb) {
      std::string dev, ids, tty;
      std::istringstream(d) >> dev >> ids >> tty;
      const std::string base = "bus/usb/devices/" + dev + "/";
      Write(base + "idVendor", ids.substr(0, 4) + "\n");
      Write(base + "idProduct", ids.substr(5) + "\n");
      Write(base + dev + ":1.0/bInterfaceClass", "02\n");
      if (tty != "-") Write(fs::path(base) / (dev + ":1.1") / tty / "dev", "166:0\n");
    }
  }
  ~FakeSysfs() { fs::remove_all(root); }
  void Write(const fs::path& path, const std::string& text) {
    fs::create_directories((root / path).parent_path());
    std::ofstream(root / path) << text;
  }
  fs::path root;
};

std::vector<std::string> List(const std::vector<std::string>& ttys) {
  PortList list;
  ListComPortsIn(FakeSysfs(ttys, {}).root.c_str(), nullptr, &list);
  return std::vector<std::string>(list.names, list.names + list.count);
}

TEST(ListComPortsIn, ListsPresentPortsSortedAndLeavesOutWhatCannotBeUsed) {
  const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
      {{"ttyUSB1", "ttyUSB10", "ttyACM0", "ttyUSB0", "ttyUSB2", "rfcomm0"},
       {"rfcomm0", "ttyACM0", "ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyUSB2"}},
      // Legacy slots reporting no UART (type 0) are left out; an unreadable type is kept.
      {{"ttyS0:4", "ttyS1:0", "ttyS2:0\n", "ttyS3:4\n", "ttyS4"}, {"ttyS0", "ttyS3", "ttyS4"}},
      {{"ttyUSB123", "ttyUSB1234", "ttyXRUSB10"}, {"ttyUSB123"}},  // 9 characters at most
  };
  for (const auto& [ttys, expected] : cases) EXPECT_EQ(List(ttys), expected);
  std::vector<std::string> many;
  for (int i = kMaxListedPorts + 9; i >= 0; --i) many.push_back("ttyUSB" + std::to_string(100 + i));
  const std::vector<std::string> listed = List(many);
  ASSERT_EQ(listed.size(), static_cast<size_t>(kMaxListedPorts));
  EXPECT_EQ(listed.front(), "ttyUSB100");
  EXPECT_EQ(listed.back(), "ttyUSB163");
}

TEST(FindUsbTtyIn, TakesTheFirstMatchingDeviceWithATty) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"1-1 4b2c:0001 tty/ttyACM0"}, "/dev/ttyACM0"},
      {{"1-1 4b2c:0001 ttyUSB3"}, "/dev/ttyUSB3"},
      {{"1-1 1d6b:0001 tty/ttyACM0", "1-2 4b2c:0002 tty/ttyACM1", "1-3 4b2d:0001 ttyUSB0",
        "1-4 4B2C:0001 ttyUSB1", "1-5 4b2c:0001 -", "1-6 4b2c:0001 tty/ttyACM2"},
       "/dev/ttyACM2"},
      {{"3-1 4b2c:0001 tty/ttyACM0", "1-2 4b2c:0001 tty/ttyACM5"}, "/dev/ttyACM5"},
  };
  for (const auto& [devices, expected] : cases) {
    char path[300];
    EXPECT_EQ(FindUsbTtyIn(FakeSysfs({}, devices).root.c_str(), path, sizeof path),
              expected[0] != '\0');
    EXPECT_STREQ(path, expected);
  }
  // Every entry counts: the folder lists each device and interface of every
  // hub, and the PLC may come anywhere in directory order (in the middle of
  // the creation order here).
  FakeSysfs crowded({}, {});
  const fs::path devices = crowded.root / "bus/usb/devices";
  for (int i = 0; i < 1200; ++i) {
    if (i == 600) {
      crowded.Write("bus/usb/devices/1-9/idVendor", "4b2c\n");
      crowded.Write("bus/usb/devices/1-9/idProduct", "0001\n");
      crowded.Write("bus/usb/devices/1-9/1-9:1.0/tty/ttyACM7/dev", "166:7\n");
    }
    fs::create_directory_symlink("../../../devices/x", devices / ("2-1." + std::to_string(i)));
  }
  char found[300];
  EXPECT_TRUE(FindUsbTtyIn(crowded.root.c_str(), found, sizeof found));
  EXPECT_STREQ(found, "/dev/ttyACM7");
  char path[8];  // a path that does not fit is not returned cut
  EXPECT_FALSE(FindUsbTtyIn(FakeSysfs({}, cases[1].first).root.c_str(), path, sizeof path));
  EXPECT_STREQ(path, "");
}

// Every PLC device with the by-path link that udev made for it; links to other ttys, a
// second link to the same port (with the USB revision) and a device without a link.
TEST(ListPlcUsbPortsIn, PairsEachPlcDeviceWithItsByPathLink) {
  FakeSysfs sys({}, {"1-1 4b2c:0001 tty/ttyACM0", "1-2 1d6b:0001 tty/ttyACM1",
                     "1-3 4b2c:0001 ttyUSB3", "1-4 4b2c:0001 tty/ttyACM2"});
  const fs::path byPath = sys.root / "by-path";
  fs::create_directories(byPath);
  const std::string pci = "pci-0000:00:14.0-";
  for (const auto& [link, target] : std::vector<std::pair<std::string, std::string>>{
           {pci + "usbv2-0:1:1.1", "../../ttyACM0"},
           {pci + "usb-0:1:1.1", "../../ttyACM0"},
           {pci + "usb-0:2:1.1", "../../ttyACM1"},
           {pci + "usb-0:3:1.0-port0", "../../ttyUSB3"}})
    fs::create_symlink(target, byPath / link);
  UsbPortList list;
  ListPlcUsbPortsIn(sys.root.c_str(), byPath.c_str(), &list);
  std::vector<std::string> got(static_cast<size_t>(list.count));
  for (int i = 0; i < list.count; ++i)
    got[static_cast<size_t>(i)] = list.nodes[i] + (" " + std::string(list.stable[i]));
  const std::string by = byPath.string() + "/" + pci;
  EXPECT_EQ(
      got, (std::vector<std::string>{"/dev/ttyACM0 " + by + "usb-0:1:1.1",
                                     "/dev/ttyUSB3 " + by + "usb-0:3:1.0-port0", "/dev/ttyACM2 "}));
}

// A run holds the USB port by the USB device's name, its place on the bus,
// which the PLC keeps when it re-enumerates; a tty on no USB device has none.
TEST(UsbPortOfTtyIn, NamesTheUsbDeviceOfATty) {
  FakeSysfs sys({"ttyS0"}, {"1-1.2 4b2c:0001 tty/ttyACM0", "1-3 4b2c:0001 ttyUSB3"});
  for (const auto& [tty, device] :
       {std::pair{"ttyACM0", "1-1.2/1-1.2:1.1"}, {"ttyUSB3", "1-3/1-3:1.1/ttyUSB3"}}) {
    fs::create_directories(sys.root / "class/tty" / tty);
    fs::create_symlink(std::string("../../../bus/usb/devices/") + device,
                       sys.root / "class/tty" / tty / "device");
  }
  for (const auto& [tty, expected] : {std::pair{"/dev/ttyACM0", "usb-1-1.2"},
                                      {"/dev/ttyUSB3", "usb-1-3"},
                                      {"/dev/ttyS0", ""},
                                      {"/dev/pts/3", ""}}) {
    char key[64];
    EXPECT_EQ(UsbPortOfTtyIn(sys.root.c_str(), tty, key, sizeof key), expected[0] != '\0') << tty;
    EXPECT_STREQ(key, expected);
  }
  // A serial port is held by the interface it hangs from: each port of a
  // multi-port adapter on its own.
  for (const auto& [tty, expected] : {std::pair{"/dev/ttyACM0", "usb-1-1.2:1.1"},
                                      {"/dev/ttyUSB3", "usb-1-3:1.1"},
                                      {"/dev/ttyS0", ""}}) {
    char key[64];
    EXPECT_EQ(UsbInterfaceOfTtyIn(sys.root.c_str(), tty, key, sizeof key), expected[0] != '\0')
        << tty;
    EXPECT_STREQ(key, expected);
  }
}

// A temporary folder, removed with everything in it.
struct TempDir {
  TempDir() {
    std::string pattern = ::testing::TempDir() + "holdsXXXXXX";
    path = mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path); }
  fs::path path;
};

// The port layer pointed at a test's folders (a missing sysfs root: no node
// is on a USB device); the run's holds end with the test.
struct Places {
  explicit Places(const fs::path& locks, const char* sys = "/nonexistent/sys",
                  const char* dev = "/dev")
      : saved(portPlaces), lockDir(locks.string()) {
    portPlaces = {sys, dev, lockDir.c_str(), "/proc"};
  }
  ~Places() {
    ReleaseRunHolds();
    lockFileOpened = nullptr;
    portPlaces = saved;
  }
  PortPlaces saved;
  std::string lockDir;
};

std::vector<fs::path> FilesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir)) files.push_back(entry.path());
  return files;
}

// Another run asks for the lock: true when it is held.
bool LockedByARun(const fs::path& lockFile) {
  const int fd = open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  return held;
}

std::string NewNode(const TempDir& dir, int i) {
  const fs::path node = dir.path / ("tty" + std::to_string(i));
  std::ofstream(node) << "";
  return node.string();
}

// Every hold of a run is kept, however many PLCs a run (or a window left
// open) has taken, by a lock file that every user's run can open whatever
// the umask; the run's end removes them all.
TEST(HoldForTheRun, ManyHoldsEachByALockFileReadableByAllAndAllGoneAtTheEnd) {
  Refusal why;
  TempDir locks, nodes;
  Places places(locks.path);
  const mode_t umaskBefore = umask(077);
  std::vector<std::string> held;
  for (int i = 0; i < 12; ++i) {
    held.push_back(NewNode(nodes, i));
    EXPECT_TRUE(HoldForTheRun(held.back().c_str(), &why)) << why.text;
  }
  umask(umaskBefore);
  EXPECT_TRUE(HoldForTheRun(held[3].c_str(), &why)) << "a run takes its own PLC again";
  const std::vector<fs::path> files = FilesIn(locks.path);
  EXPECT_EQ(files.size(), held.size());
  for (const fs::path& file : files) {
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u) << file;
    EXPECT_TRUE(LockedByARun(file)) << file;
  }
  ReleaseRunHolds();
  EXPECT_EQ(FilesIn(locks.path).size(), 0u) << "lock files left behind";
}

// Several runs in one process (a thread per PLC): each keeps its own holds
// until its own end, and one PLC named twice is held by the first run only.
TEST(HoldForTheRun, EachRunOfTheProcessKeepsItsOwnHoldsUntilItsEnd) {
  Refusal why;
  TempDir locks, nodes;
  Places places(locks.path);
  const std::string first = NewNode(nodes, 0);
  const std::string second = NewNode(nodes, 1);
  ASSERT_TRUE(HoldForTheRun(first.c_str(), &why)) << why.text;
  Refusal refusal;
  std::thread other([&] {
    EXPECT_TRUE(HoldForTheRun(second.c_str(), &refusal)) << refusal.text;
    EXPECT_FALSE(HoldForTheRun(first.c_str(), &refusal));
    ReleaseRunHolds();
  });
  other.join();
  EXPECT_EQ(refusal.kind, RefusalKind::kBusy);
  EXPECT_EQ(refusal.text, first + " is in use by another program (locked)");
  const std::vector<fs::path> left = FilesIn(locks.path);
  ASSERT_EQ(left.size(), 1u) << "the other run's end took this run's hold";
  EXPECT_TRUE(LockedByARun(left[0]));
  ReleaseRunHolds();
  EXPECT_EQ(FilesIn(locks.path).size(), 0u);
}

// Where no lock can be had the PLC is not touched: it would be unheld in
// the replug pause.  The refusal says why and what to do.
TEST(HoldForTheRun, NoLockFileRefusesAndSaysWhy) {
  Refusal why;
  TempDir runtime, nodes;
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  const std::string xdgBefore = xdg != nullptr ? xdg : "";
  unsetenv("XDG_RUNTIME_DIR");
  Places places("/nonexistent/lock");
  const std::string node = NewNode(nodes, 0);
  EXPECT_FALSE(HoldForTheRun(node.c_str(), &why));
  EXPECT_EQ(why.text,
            "cannot hold " + node +
                " for the run: neither /nonexistent/lock nor $XDG_RUNTIME_DIR is writable; make "
                "/nonexistent/lock writable for this user or set XDG_RUNTIME_DIR");
  // The user's runtime folder instead; a lock file that cannot be opened
  // (here a link, which is not followed) refuses too.
  setenv("XDG_RUNTIME_DIR", runtime.path.c_str(), 1);
  EXPECT_TRUE(HoldForTheRun(node.c_str(), &why)) << why.text;
  ASSERT_EQ(FilesIn(runtime.path).size(), 1u);
  const fs::path lockFile = FilesIn(runtime.path)[0];
  ReleaseRunHolds();
  fs::create_symlink("/dev/null", lockFile);
  EXPECT_FALSE(HoldForTheRun(node.c_str(), &why));
  EXPECT_EQ(why.text.rfind("cannot hold " + node + " for the run: " + lockFile.string() + ": ", 0),
            0u)
      << why.text;
  (void)(xdgBefore.empty() ? unsetenv("XDG_RUNTIME_DIR")
                           : setenv("XDG_RUNTIME_DIR", xdgBefore.c_str(), 1));
}

// The holder removes its lock file while it holds the flock: a run whose
// flock succeeds on the file it opened just before must take the file the
// path names now, or two runs would hold the PLC.
fs::path raceFile;
int otherRun = -1;
TEST(HoldForTheRun, ALockFileItsHolderRemovedIsNotTaken) {
  Refusal why;
  TempDir locks, nodes;
  Places places(locks.path);
  const std::string node = NewNode(nodes, 0);
  ASSERT_TRUE(HoldForTheRun(node.c_str(), &why));
  raceFile = FilesIn(locks.path).at(0);
  ReleaseRunHolds();
  otherRun = open(raceFile.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  ASSERT_EQ(flock(otherRun, LOCK_EX | LOCK_NB), 0);
  lockFileOpened = [](const char*) {
    if (otherRun < 0) return;
    // The other run ends between this run's open and its flock.
    unlink(raceFile.c_str());
    close(otherRun);
    otherRun = -1;
  };
  EXPECT_TRUE(HoldForTheRun(node.c_str(), &why)) << why.text;
  EXPECT_EQ(otherRun, -1);
  EXPECT_TRUE(LockedByARun(raceFile)) << "the run holds a file that is gone";
}

// Two PLCs: a run that found the one on USB port 1-1 reopens it there after
// the replug, whatever the search would take first, and nothing while it is
// away.  The device files are links to pseudo-terminals.
struct FakePlc {
  FakePlc() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    path = ptsname(master);
  }
  ~FakePlc() { close(master); }
  // Plugs it into sys's USB port "device" as tty (in dev).
  void Plug(FakeSysfs& sys, const fs::path& dev, const std::string& device,
            const std::string& tty) {
    sys.Write("bus/usb/devices/" + device + "/" + device + ":1.1/tty/" + tty + "/dev", "166:0\n");
    const fs::path cls = sys.root / "class/tty" / fs::path(path).filename();
    fs::create_directories(cls);
    fs::create_symlink("../../../bus/usb/devices/" + device + "/" + device + ":1.1",
                       cls / "device");
    fs::create_symlink(path, dev / tty);
  }
  bool Is(const LinkHandle& link) const {
    struct stat mine {};
    struct stat theirs {};
    return link != kNoLink &&
           fstat(static_cast<PosixLink*>(link.get())->Descriptor(), &mine) == 0 &&
           stat(path.c_str(), &theirs) == 0 && mine.st_rdev == theirs.st_rdev;
  }
  int master = -1;
  std::string path;
};

TEST(OpenMyDevPipe, AReopenKeepsToTheUsbPortOfTheRunsPlc) {
  TempDir locks, dev;
  FakeSysfs sys({}, {"1-1 4b2c:0001 -", "1-2 4b2c:0001 -"});
  Places places(locks.path, sys.root.c_str(), dev.path.c_str());
  FakePlc ours, other, oursAgain;
  ours.Plug(sys, dev.path, "1-1", "ttyACM0");
  other.Plug(sys, dev.path, "1-2", "ttyACM1");
  LinkHandle link = OpenMyDevPipe("").link;
  EXPECT_TRUE(ours.Is(link)) << "the search takes the first PLC";
  link.reset();
  // The replug: the PLC on 1-1 is away; the other one is listed.
  fs::remove_all(sys.root / "bus/usb/devices/1-1/1-1:1.1/tty");
  link = OpenMyDevPipe("").link;
  EXPECT_EQ(link, kNoLink) << "the reopen took another PLC";
  // Back on 1-1 under another node.
  oursAgain.Plug(sys, dev.path, "1-1", "ttyACM2");
  link = OpenMyDevPipe("").link;
  EXPECT_TRUE(oursAgain.Is(link));
  link.reset();
  // The next run searches again.
  ReleaseRunHolds();
  fs::remove_all(sys.root / "bus/usb/devices/1-1");
  link = OpenMyDevPipe("").link;
  EXPECT_TRUE(other.Is(link));
}

TEST(FindUsbTtyAtIn, TheTtyOfThePlcOnOneUsbPort) {
  FakeSysfs sys({}, {"1-1 4b2c:0001 tty/ttyACM0", "1-2 4b2c:0001 ttyUSB3", "1-3 1d6b:0001 ttyUSB4",
                     "1-4 4b2c:0001 -"});
  for (const auto& [port, expected] : {std::pair{"usb-1-2", "/dev/ttyUSB3"},
                                       {"usb-1-1", "/dev/ttyACM0"},
                                       {"usb-1-3", ""},
                                       {"usb-1-4", ""},
                                       {"usb-1-9", ""},
                                       {"1-1", ""},
                                       {"usb-../devices/1-1", ""}}) {
    char path[300];
    EXPECT_EQ(FindUsbTtyAtIn(sys.root.c_str(), port, path, sizeof path), expected[0] != '\0')
        << port;
    EXPECT_STREQ(path, expected);
  }
}

// A procfs tree: processes ("pid comm fd->target ..."); "-" for a process
// whose descriptors cannot be read.
struct FakeProc {
  explicit FakeProc(const std::vector<std::string>& processes) {
    for (const std::string& p : processes) {
      std::istringstream in(p);
      std::string pid, comm, fd;
      in >> pid >> comm;
      const fs::path dir = dir_.path / pid;
      fs::create_directories(dir);
      std::ofstream(dir / "comm") << comm << "\n";
      while (in >> fd) {
        if (fd == "-") {
          std::ofstream(dir / "fd") << "";  // opendir fails as on EACCES
          continue;
        }
        fs::create_directories(dir / "fd");
        const size_t arrow = fd.find("->");
        fs::create_symlink(fd.substr(arrow + 2), dir / "fd" / fd.substr(0, arrow));
      }
    }
    fs::create_directories(dir_.path / "self");
    fs::create_directories(dir_.path / "sys");
  }
  // The refusal's text; its kind must be kind.
  std::string Busy(const char* path, RefusalKind kind) {
    const Refusal refusal = BusyRefusalIn(dir_.path.c_str(), path);
    EXPECT_EQ(refusal.kind, kind) << path;
    return refusal.text;
  }
  TempDir dir_;
};

// A busy tty (in exclusive mode): the process that has it open, else that
// a program that ended left it so and what frees it.
TEST(BusyRefusalIn, NamesTheProcessOrSaysThePortWasLeftExclusive) {
  FakeProc proc({"1 init 0->/dev/null", "310 bash 0->/dev/pts/1 1->/dev/pts/1",
                 "4242 minicom 0->/dev/null 3->/dev/ttyUSB9 4->socket:[77]"});
  EXPECT_EQ(proc.Busy("/dev/ttyUSB9", RefusalKind::kBusy),
            "/dev/ttyUSB9 is in use by process 4242 (minicom) (busy)");
  EXPECT_EQ(proc.Busy("/dev/ttyUSB7", RefusalKind::kStale),
            "/dev/ttyUSB7 was left in exclusive mode by a program that ended without letting it "
            "go (busy); replug the device (or power-cycle it) to free it");
  FakeProc others({"1 init -", "310 bash 0->/dev/pts/1"});
  EXPECT_EQ(others.Busy("/dev/ttyUSB7", RefusalKind::kStale),
            "/dev/ttyUSB7 is in exclusive mode but no program of this user has it open: one that "
            "ended left it so (busy); unless another user is using it, replug the device (or "
            "power-cycle it)");
}

}  // namespace

}  // namespace plc
