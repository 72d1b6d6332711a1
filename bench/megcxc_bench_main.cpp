// megcxc-bench: time the library's whole-dataset operations on a synthetic
// collection, each beside the plain transfer of the bytes it has to move
// (memcpy, or write / read for files), which bounds how fast it can run on
// this machine, and beside the time of touching as many new pages as the
// step took (page faults cost more than copying on many machines).
//
// Every step is run --repeat times; the table shows the median. Work that
// only brings the collection into the state a step starts from (rebuilding a
// control dataset, restoring the raw data after a step changed it) runs
// untimed before each run, and then the memory freed so far is handed back
// to the system, so each run pays for the new pages it takes.
//
// The data are a closed formula of the pair and the cell, so other tools
// (bench/compare_numpy.py) can build the same complex array and compare both
// speed and results (each step's "check" figure). Cell k = t * F + f of pair
// (r, c):
//   real = (((7 r + 3 c + k) mod 17) - 8.25) * 0.37
//   imag = (((r + 5 c + k) mod 13) - 6.5) * 0.21
//
// Exit status: 0 success, 1 a refused step or failed file operation, 2 bad
// usage. Errors and the library's messages go to stderr as
// "megcxc-bench: <text>".
#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "face/meg_spctm_cc_data_facezq.h"
#include "host/collection_file.h"
#include "host/demo_data.h"
#include "host/describe.h"
#include "platform/carchive.h"
#include "platform/cfile.h"
#include "platform/message_box.h"
#include "platform/parallel.h"
#include "platform/refused.h"
#include "spectral/spctm_basicx.h"
#include "trial/spctm_trl_pair_walk.h"

namespace {

using megcxc::refuse;
using megcxc::host::checkDemoOptions;
using megcxc::host::DemoOptions;
using megcxc::host::setDemoAxes;
using megcxc::host::fileSize;
using megcxc::host::jsonNumber;
using megcxc::host::jsonString;
using Collection = CMEGSpctmCCDataFacezq;
using Dataset = CSpctmTrlCCDatazq;

constexpr const char* kProgram = "megcxc-bench";
constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

// Options the parser accepted but that do not fit together; exit status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void badUsage(const std::string& message) { throw UsageError(message); }

// While alive, shows every library message on stderr as one line
// "megcxc-bench: <text>" and answers No to Yes/No questions (no step needs
// consent: the control dataset is collapsed before A-C, so the library does
// not ask). Restores the previous handler on destruction.
class MessagesToStderr {
 public:
  MessagesToStderr() : previous_(setMessageBoxHandler(&MessagesToStderr::show)) {}
  ~MessagesToStderr() { setMessageBoxHandler(std::move(previous_)); }
  MessagesToStderr(const MessagesToStderr&) = delete;
  MessagesToStderr& operator=(const MessagesToStderr&) = delete;

 private:
  static int show(const CString& text, unsigned type) {
    std::string line = text.toUtf8();
    for (char& c : line) {
      if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    const bool question = (type & 0x000F) == MB_YESNO;
    std::fprintf(stderr, "%s: %s%s\n", kProgram, line.c_str(), question ? "? -> No" : "");
    return question ? IDNO : IDOK;
  }

  MessageBoxHandler previous_;
};

struct BenchArgs {
  int64_t sensors = 64;
  int64_t timePt = 5;
  int64_t freqPt = 40;
  int repeat = 5;
  bool json = false;
  std::string only;
  bool noLimit = false;
};

// The factor of the scaling step.
constexpr double kScaleFactor = 1.5;

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Memory touched for the first time, counted by page faults: a minor fault
// of this process is one new page, but a transparent huge page (the plane
// heap's, the archive buffers') comes in one fault of 2 MiB. Huge page
// faults are counted system-wide (/proc/vmstat thp_fault_alloc; 0 where it
// cannot be read), which on a quiet machine are this process's.
struct Faults {
  int64_t minor = 0;  // all of this process's, huge ones included
  int64_t huge = 0;
};
constexpr int64_t kHugePageBytes = int64_t{2} << 20;

int64_t hugePageFaults() {
  std::FILE* f = std::fopen("/proc/vmstat", "r");
  if (!f) return 0;
  char name[64];
  unsigned long long value = 0;
  int64_t found = 0;
  while (std::fscanf(f, "%63s %llu", name, &value) == 2) {
    if (std::strcmp(name, "thp_fault_alloc") == 0) {
      found = static_cast<int64_t>(value);
      break;
    }
  }
  std::fclose(f);
  return found;
}

Faults faultsSoFar() {
  struct rusage usage {};
  Faults out;
  if (::getrusage(RUSAGE_SELF, &usage) == 0) out.minor = static_cast<int64_t>(usage.ru_minflt);
  out.huge = hugePageFaults();
  return out;
}

// New memory between two counts: small pages and huge pages.
struct NewMemory {
  int64_t smallPages = 0;
  int64_t hugePages = 0;
  int64_t bytes(int64_t pageBytes) const { return smallPages * pageBytes + hugePages * kHugePageBytes; }
};
NewMemory newMemorySince(const Faults& before) {
  const Faults now = faultsSoFar();
  NewMemory m;
  m.hugePages = std::clamp<int64_t>(now.huge - before.huge, 0, now.minor - before.minor);
  m.smallPages = now.minor - before.minor - m.hugePages;
  return m;
}

// Processor time of this process so far (user + system, all threads). On a
// shared machine a step's processor time does not grow with other processes'
// load the way its wall time does.
double cpuSeconds() {
  struct rusage usage {};
  if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
  return sec(usage.ru_utime) + sec(usage.ru_stime);
}

template <class Fn>
double timed(Fn&& fn) {
  const auto start = std::chrono::steady_clock::now();
  fn();
  return secondsSince(start);
}

double median(std::vector<double> v) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  const std::size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : 0.5 * (v[m - 1] + v[m]);
}

// The host's data: the real part of a pair depends on (7 r + 3 c) mod 17 only
// and the imaginary part on (r + 5 c) mod 13, so 17 + 13 small planes hold
// every pair's rows. They stay in cache, as the rows of a host that hands
// each pair in right after computing it do.
class HostData {
 public:
  HostData(int64_t timePt, int64_t freqPt) : timePt_(timePt) {
    build(re_, reRows_, 17, 8.25, 0.37, freqPt);
    build(im_, imRows_, 13, 6.5, 0.21, freqPt);
  }
  const double* const* realRows(int64_t r, int64_t c) const { return &reRows_[idx((7 * r + 3 * c) % 17)]; }
  const double* const* imagRows(int64_t r, int64_t c) const { return &imRows_[idx((r + 5 * c) % 13)]; }

 private:
  std::size_t idx(int64_t pattern) const { return static_cast<std::size_t>(pattern * timePt_); }
  void build(std::vector<double>& cells, std::vector<const double*>& rows, int64_t modulus, double centre,
             double step, int64_t freqPt) {
    const int64_t n = timePt_ * freqPt;
    cells.resize(static_cast<std::size_t>(modulus * n));
    rows.resize(static_cast<std::size_t>(modulus * timePt_));
    for (int64_t q = 0; q < modulus; ++q) {
      double* out = &cells[static_cast<std::size_t>(q * n)];
      for (int64_t k = 0; k < n; ++k) out[k] = (static_cast<double>((q + k) % modulus) - centre) * step;
      for (int64_t t = 0; t < timePt_; ++t) rows[static_cast<std::size_t>(q * timePt_ + t)] = out + t * freqPt;
    }
  }
  int64_t timePt_;
  std::vector<double> re_, im_;
  std::vector<const double*> reRows_, imRows_;
};

enum class LimitKind { memcpy, write, read };

const char* limitName(LimitKind kind) {
  return kind == LimitKind::memcpy ? "memcpy" : kind == LimitKind::write ? "write" : "read";
}

// Bytes a step must read from and write to memory (or a file), given the
// state it ran in.
struct Traffic {
  int64_t read = 0;
  int64_t written = 0;
};

struct StepResult {
  std::string id;
  std::string label;
  LimitKind limit = LimitKind::memcpy;
  Traffic traffic;
  int64_t limitBytes = 0;
  std::vector<double> runs;
  std::vector<double> cpuRuns;  // processor time of each run
  std::vector<double> limitRuns;
  // Memory the step touched for the first time, in 4 KiB pages (a huge
  // page counting as 512), in each run, and the time a plain write needs to
  // touch as much new memory on pages of the same kinds.
  std::vector<double> faultRuns;
  std::vector<double> firstTouchRuns;
  double check = NAN;
};

// The plain transfers a step is compared with. The buffers grow to the
// largest size asked for, are touched once when they grow (so no page fault
// is timed) and are kept to the end.
class Limits {
 public:
  explicit Limits(std::string dir) : file_(std::move(dir) + "/plain.bin") {}
  ~Limits() { ::unlink(file_.c_str()); }
  Limits(const Limits&) = delete;
  Limits& operator=(const Limits&) = delete;

  double run(LimitKind kind, int64_t bytes) {
    const auto n = static_cast<std::size_t>(std::max<int64_t>(bytes, 1));
    grow(n);
    switch (kind) {
      case LimitKind::memcpy:
        return timed([&] {
          std::memcpy(dst_.get(), src_.get(), n);
          sink_ = dst_[n - 1];
        });
      case LimitKind::write:
        ::unlink(file_.c_str());
        return timed([&] { writeFile(n); });
      case LimitKind::read:
        if (fileSize(file_) != static_cast<int64_t>(n)) writeFile(n);
        return timed([&] { readFile(n); });
    }
    return NAN;
  }

  // Wall seconds to write newly mapped memory of the pages `fresh` counts:
  // the page faults and zeroing the kernel does for memory a step takes for
  // the first time, which a memcpy between touched buffers never pays.
  double firstTouch(const NewMemory& fresh) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const auto small = static_cast<std::size_t>(fresh.smallPages) * page;
    const auto huge = static_cast<std::size_t>(fresh.hugePages) * static_cast<std::size_t>(kHugePageBytes);
    if (small + huge == 0) return 0.0;
    // The huge part 2 MiB-aligned and advised, as the library maps it.
    const std::size_t hugeMap = huge ? huge + static_cast<std::size_t>(kHugePageBytes) : 0;
    void* a = small ? ::mmap(nullptr, small, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) : nullptr;
    void* b = hugeMap ? ::mmap(nullptr, hugeMap, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) : nullptr;
    double t = NAN;
    if (a != MAP_FAILED && b != MAP_FAILED) {
      auto* h = b ? reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(b) + kHugePageBytes - 1) &
                                            ~static_cast<uintptr_t>(kHugePageBytes - 1))
                  : nullptr;
      if (h) ::madvise(h, huge, MADV_HUGEPAGE);
      t = timed([&] {
        if (a) std::memset(a, 1, small);
        if (h) std::memset(h, 1, huge);
        sink_ = static_cast<char>((a ? static_cast<char*>(a)[small - 1] : 0) + (h ? h[huge - 1] : 0));
      });
    }
    if (a && a != MAP_FAILED) ::munmap(a, small);
    if (b && b != MAP_FAILED) ::munmap(b, hugeMap);
    return t;
  }

 private:
  void grow(std::size_t n) {
    if (n <= size_) return;
    src_.reset();
    dst_.reset();
    src_ = std::make_unique<char[]>(n);
    dst_ = std::make_unique<char[]>(n);
    std::memset(src_.get(), 1, n);
    std::memset(dst_.get(), 2, n);
    size_ = n;
  }
  void writeFile(std::size_t n) {
    const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) refuse(file_ + ": cannot create: " + std::strerror(errno));
    for (std::size_t done = 0; done < n;) {
      const ssize_t w = ::write(fd, src_.get() + done, n - done);
      if (w <= 0) {
        ::close(fd);
        refuse(file_ + ": cannot write: " + std::strerror(errno));
      }
      done += static_cast<std::size_t>(w);
    }
    ::close(fd);
  }
  void readFile(std::size_t n) {
    const int fd = ::open(file_.c_str(), O_RDONLY);
    if (fd < 0) refuse(file_ + ": cannot open: " + std::strerror(errno));
    for (std::size_t done = 0; done < n;) {
      const ssize_t r = ::read(fd, dst_.get() + done, n - done);
      if (r <= 0) break;
      done += static_cast<std::size_t>(r);
    }
    ::close(fd);
    sink_ = dst_[n - 1];
  }

  std::string file_;
  std::unique_ptr<char[]> src_, dst_;
  std::size_t size_ = 0;
  volatile char sink_ = 0;
};

// A fresh folder under the system's temporary folder, removed with its
// contents.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "megcxc-bench-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) refuse(pattern + ": cannot create a temporary folder: " + std::strerror(errno));
    path_ = name.data();
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Sum of every working cell of plane `dataType` over all pairs; `squares`
// sums x^2 instead.
double sumPlane(Dataset& d, int dataType, bool squares = false) {
  double total = 0.0;
  megcxc::forEachPair(d, [&](int64_t, int64_t, const CSpctmChnChnDatazq& p) {
    const double* x = megcxc::planeData(p.plane[dataType], p.timePt);
    if (!x) return;
    const int64_t n = p.timePt * p.freqPt;
    for (int64_t k = 0; k < n; ++k) total += squares ? x[k] * x[k] : x[k];
  });
  return total;
}

double sumArray(double** plane, int64_t rows, int64_t cols) {
  const double* x = megcxc::planeData(plane, rows);
  double total = 0.0;
  for (int64_t k = 0; x && k < rows * cols; ++k) total += x[k];
  return total;
}

class Bench {
 public:
  explicit Bench(const BenchArgs& args)
      : args_(args),
        host_(args.timePt, args.freqPt),
        limits_(temp_.path()),
        archivePath_(temp_.path() + "/bench.cxc") {
    demo_.sensors = args.sensors;
    demo_.timePt = args.timePt;
    demo_.freqPt = args.freqPt;
    const int64_t s2 = args.sensors * args.sensors;
    plane_ = s2 * args.timePt * args.freqPt * static_cast<int64_t>(sizeof(double));
    slice_ = s2 * args.freqPt * static_cast<int64_t>(sizeof(double));
  }
  ~Bench() { ::unlink(archivePath_.c_str()); }

  int64_t planeBytes() const { return plane_; }

  // Runs the steps named in `wanted` (all when empty) in the fixed order.
  std::vector<StepResult> run(const std::vector<std::string>& wanted) {
    std::vector<StepResult> results;
    for (const Step& step : steps()) {
      if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), step.id) == wanted.end()) continue;
      results.push_back(runStep(step));
    }
    return results;
  }

  static std::vector<std::string> stepIds() {
    std::vector<std::string> ids;
    for (const Step& s : Bench::stepTable()) ids.push_back(s.id);
    return ids;
  }

 private:
  struct Step {
    const char* id;
    const char* label;
    LimitKind limit;
    void (Bench::*prepare)();
    void (Bench::*op)();
    Traffic (Bench::*traffic)() const;
    double (Bench::*check)();
  };

  static const std::vector<Step>& stepTable() {
    static const std::vector<Step> table = {
        {"init_fill", "initialise + fill", LimitKind::memcpy, &Bench::prepFill, &Bench::opFill, &Bench::tFill,
         &Bench::checkActive},
        {"magnitude", "magnitude", LimitKind::memcpy, &Bench::prepPlain, &Bench::opMagnitude, &Bench::tDerive,
         &Bench::checkPowerPlane},
        {"phase", "phase", LimitKind::memcpy, &Bench::prepPlain, &Bench::opPhase, &Bench::tDerive,
         &Bench::checkPowerPlane},
        {"scale", "scale all", LimitKind::memcpy, &Bench::prepPlain, &Bench::opScale, &Bench::tScale,
         &Bench::checkActive},
        {"accumulate_time", "accumulate over time", LimitKind::memcpy, &Bench::prepAccumulate,
         &Bench::opAccumulate, &Bench::tAccumulate, &Bench::checkControl},
        {"class_summary", "class summary (all pairs)", LimitKind::memcpy, &Bench::prepMagnitude,
         &Bench::opSummary, &Bench::tOnePlane, &Bench::checkSummary},
        {"act_ctl", "active-control (A-C)", LimitKind::memcpy, &Bench::prepActCtl, &Bench::opActCtl,
         &Bench::tActCtl, &Bench::checkActCtl},
        {"rms_normalise", "RMS normalisation", LimitKind::memcpy, &Bench::prepPlain, &Bench::opRms, &Bench::tRms,
         &Bench::checkActive},
        {"freq_report", "frequency statistics report", LimitKind::memcpy, &Bench::prepMagnitude,
         &Bench::opReport, &Bench::tOnePlane, &Bench::checkReport},
        {"save_memory", "save to memory", LimitKind::memcpy, &Bench::prepSaveMemory, &Bench::opSaveMemory,
         &Bench::tSave, &Bench::checkArchiveBytes},
        {"load_memory", "load from memory", LimitKind::memcpy, &Bench::prepLoadMemory, &Bench::opLoadMemory,
         &Bench::tLoad, &Bench::checkLoaded},
        {"save_file", "save to file", LimitKind::write, &Bench::prepSaveFile, &Bench::opSaveFile, &Bench::tSave,
         &Bench::checkArchiveBytes},
        {"load_file", "load from file", LimitKind::read, &Bench::prepLoadFile, &Bench::opLoadFile, &Bench::tLoad,
         &Bench::checkLoaded},
    };
    return table;
  }
  const std::vector<Step>& steps() const { return stepTable(); }

  StepResult runStep(const Step& step) {
    StepResult out;
    out.id = step.id;
    out.label = step.label;
    out.limit = step.limit;
    for (int k = 0; k < args_.repeat; ++k) {
      (this->*step.prepare)();
      // Every run starts cold: memory freed so far goes back to the system,
      // so a step pays for each page it takes, as in a fresh session, and
      // not only when the allocator happened to keep none for it.
      malloc_trim(0);
      megcxc::trimPlaneMemory();
      const Faults faults = faultsSoFar();
      const double cpu = cpuSeconds();
      out.runs.push_back(timed([&] { (this->*step.op)(); }));
      out.cpuRuns.push_back(cpuSeconds() - cpu);
      const NewMemory fresh = newMemorySince(faults);
      out.faultRuns.push_back(static_cast<double>(fresh.bytes(::sysconf(_SC_PAGESIZE)) / ::sysconf(_SC_PAGESIZE)));
      out.traffic = (this->*step.traffic)();
      // A save or load is compared with a plain write or read of the archive's
      // bytes; a pass with a memcpy moving as many bytes as the pass (a memcpy
      // of n bytes reads n and writes n).
      const bool io = step.traffic == &Bench::tSave || step.traffic == &Bench::tLoad;
      out.limitBytes = io ? archiveBytes_ : (out.traffic.read + out.traffic.written) / 2;
      if (!args_.noLimit) {
        out.limitRuns.push_back(limits_.run(step.limit, out.limitBytes));
        out.firstTouchRuns.push_back(limits_.firstTouch(fresh));
      }
    }
    out.check = (this->*step.check)();
    return out;
  }

  Dataset* active() const { return collection_.trialByClass[0]; }

  // Builds the dataset of `spctmClass` from the host data, as a host does:
  // initialise the class dataset, hand in every pair, set the axes.
  void buildDataset(int spctmClass) {
    Dataset* d = collection_.checkInitSpctmCxCData4Class(spctmClass, args_.sensors, args_.sensors, args_.timePt,
                                                         args_.freqPt, true, 1, 0, nullptr, nullptr);
    if (!d) refuse("not enough memory for a dataset of " + std::to_string(args_.sensors) + " sensors");
    setDemoAxes(*d, demo_);
    for (int64_t r = 0; r < args_.sensors; ++r) {
      for (int64_t c = 0; c < args_.sensors; ++c) {
        CSpctmChnChnDatazq* pair = d->getSnsActCC(r, c);
        if (!pair || !pair->addSpctmData2ChannelCWTri(host_.realRows(r, c), host_.imagRows(r, c), args_.timePt,
                                                      args_.freqPt)) {
          refuse("not enough memory to fill a dataset of " + std::to_string(args_.sensors) + " sensors");
        }
        pair->chnA = r;
        pair->chnB = c;
      }
    }
    d->checkDataIntegraty();
  }

  // The active dataset as the host filled it (real and imaginary planes, no
  // power/phase plane); restored from the raw backup after a step changed it.
  void ensurePlainActive() {
    if (!active()) {
      buildDataset(0);
      changed_ = false;
    } else if (changed_) {
      active()->reloadSpctmDataTrl();
      changed_ = false;
    }
    dropPowerPhase(*active());
  }

  static void dropPowerPhase(Dataset& d) {
    megcxc::forEachPair(d, [](int64_t, int64_t, CSpctmChnChnDatazq& p) { CSpctmBasicx::freeBufferF2d(0, 0, p.plane[2]); });
    d.hasPowerPhasePlane = 0;
  }

  // The control dataset collapsed to one time slice.
  void ensureCollapsedControl() {
    Dataset* control = collection_.trialByClass[1];
    if (control && control->timePt == 1) return;
    buildDataset(1);
    if (!collection_.trialByClass[1]->accumulateTime1()) refuse("collapsing the control dataset was refused");
  }

  // Only the active dataset, so the archive holds the same data as the
  // complex array of other tools (plus the raw backup the format keeps).
  void ensureActiveOnly() {
    ensurePlainActive();
    if (collection_.trialByClass[1]) collection_.deleteSpctmTrlData(1);
    if (collection_.trialByClass[2]) collection_.deleteSpctmTrlData(2);
  }

  void prepFill() {
    if (active()) collection_.deleteSpctmTrlData(0);
  }
  void opFill() {
    buildDataset(0);
    changed_ = false;
  }

  void prepPlain() { ensurePlainActive(); }
  void opMagnitude() {
    if (!active()->computeMagnitude(0)) refuse("magnitude was refused");
  }
  void opPhase() {
    if (!active()->computePhase()) refuse("phase was refused");
  }
  void opScale() {
    active()->scaleSpctmAllDataType4Class(kScaleFactor);
    changed_ = true;
  }
  void opRms() {
    changed_ = true;
    if (!collection_.normSpctmCCData_rootMeanSquare(0)) refuse("RMS normalisation was refused");
  }

  void prepAccumulate() {
    ensurePlainActive();
    buildDataset(1);
  }
  void opAccumulate() {
    if (!collection_.trialByClass[1]->accumulateTime1()) refuse("accumulation over time was refused");
  }

  void prepMagnitude() {
    ensurePlainActive();
    opMagnitude();
  }
  void opSummary() {
    if (!collection_.cmpSumCCSpctmData(active(), 0, 2)) refuse("the class summary was refused");
  }
  void opReport() { reportLength_ = active()->getStatisticsF(2).GetLength(); }

  void prepActCtl() {
    ensurePlainActive();
    ensureCollapsedControl();
    collection_.actCtlOperation = 0;
  }
  void opActCtl() {
    if (!collection_.doAct_Ctl_operation()) refuse("the active-control operation was refused");
  }

  void prepSaveMemory() {
    ensureActiveOnly();
    memory_.reset();
  }
  void opSaveMemory() {
    memory_ = std::make_unique<CMemFile>();
    CArchive ar(memory_.get(), CArchive::store);
    collection_.serializeSpctmFace(ar);
    ar.Close();
    archiveBytes_ = memory_->GetLength();
  }
  void prepLoadMemory() {
    loaded_.reset();
    if (!memory_) {
      prepSaveMemory();
      opSaveMemory();
    }
    memory_->seekToBegin();
  }
  void opLoadMemory() {
    loaded_ = std::make_unique<Collection>();
    CArchive ar(memory_.get(), CArchive::load);
    if (!loaded_->serializeSpctmFace(ar)) refuse("loading the collection from memory was refused");
  }

  void prepSaveFile() {
    ensureActiveOnly();
    memory_.reset();
    loaded_.reset();
    ::unlink(archivePath_.c_str());
  }
  void opSaveFile() {
    CFile file(archivePath_, CFile::modeCreate | CFile::modeWrite);
    CArchive ar(&file, CArchive::store);
    collection_.serializeSpctmFace(ar);
    ar.Close();
    file.Close();
    archiveBytes_ = fileSize(archivePath_);
  }
  void prepLoadFile() {
    loaded_.reset();
    memory_.reset();
    if (fileSize(archivePath_) <= 0) {
      prepSaveFile();
      opSaveFile();
    }
  }
  void opLoadFile() {
    loaded_ = std::make_unique<Collection>();
    CFile file(archivePath_, CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    if (!loaded_->serializeSpctmFace(ar)) refuse("loading the collection file was refused");
  }

  // Traffic of each step, P being one plane over all pairs and P1 one time
  // slice of it.
  Traffic tFill() const { return {0, 4 * plane_}; }           // working + raw real and imaginary
  Traffic tDerive() const { return {2 * plane_, plane_}; }    // real, imaginary -> power/phase
  Traffic tScale() const { return {2 * plane_, 2 * plane_}; } // in place
  Traffic tAccumulate() const { return {2 * plane_, 4 * slice_}; }
  Traffic tOnePlane() const { return {plane_, 0}; }
  Traffic tActCtl() const { return {2 * plane_ + 2 * slice_, 2 * plane_}; }
  // One pass to measure both RMS values, one to divide.
  Traffic tRms() const { return {4 * plane_, 2 * plane_}; }
  Traffic tSave() const { return {4 * plane_, archiveBytes_}; }
  Traffic tLoad() const { return {archiveBytes_, 4 * plane_}; }

  double checkActive() { return sumPlane(*active(), 0) + sumPlane(*active(), 1); }
  double checkPowerPlane() { return sumPlane(*active(), 2); }
  double checkControl() {
    Dataset& control = *collection_.trialByClass[1];
    return sumPlane(control, 0) + sumPlane(control, 1);
  }
  double checkSummary() {
    const CSumCCSpctmDatazq& s = active()->summaryByDataType[2];
    const int64_t t = s.timePtCount;
    const int64_t f = s.freqPtCount;
    return sumArray(s.cellMin, t, f) + sumArray(s.cellMean, t, f) + sumArray(s.cellMax, t, f) +
           sumArray(s.cellRms, t, f);
  }
  double checkActCtl() {
    Dataset& result = *collection_.trialByClass[2];
    return sumPlane(result, 0, true) + sumPlane(result, 1, true);
  }
  double checkReport() {
    if (reportLength_ <= 0) refuse("the frequency statistics report is empty");
    const CMMatrix1Dzq& profile = active()->freqProfile;
    double total = 0.0;
    for (int64_t i = 0; profile.pData && i <= profile.upBound - profile.lowBound; ++i) total += profile.pData[i];
    return total;
  }
  double checkArchiveBytes() { return static_cast<double>(archiveBytes_); }
  double checkLoaded() {
    Dataset* d = loaded_ ? loaded_->trialByClass[0] : nullptr;
    if (!d) refuse("the loaded collection holds no active dataset");
    const double total = sumPlane(*d, 0) + sumPlane(*d, 1);
    loaded_.reset();
    return total;
  }

  BenchArgs args_;
  DemoOptions demo_;
  HostData host_;
  TempDir temp_;
  Limits limits_;
  std::string archivePath_;
  Collection collection_;
  std::unique_ptr<Collection> loaded_;
  std::unique_ptr<CMemFile> memory_;
  int64_t plane_ = 0;
  int64_t slice_ = 0;
  int64_t archiveBytes_ = 0;
  int reportLength_ = 0;
  // The working planes of the active dataset differ from its raw backup.
  bool changed_ = false;
};

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = text.find(',', start);
    const std::size_t end = comma == std::string::npos ? text.size() : comma;
    if (end > start) out.push_back(text.substr(start, end - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

// Peak resident memory of this process image: VmHWM, which exec resets
// (getrusage would report a larger parent's peak inherited through fork).
int64_t peakRssBytes() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long long kb = -1;
  while (std::fgets(line, sizeof line, f)) {
    if (std::sscanf(line, "VmHWM: %lld kB", &kb) == 1) break;
  }
  std::fclose(f);
  return kb < 0 ? -1 : kb * 1024;
}

double ratioOf(double a, double b) { return b > 0.0 ? a / b : NAN; }

void printJson(const BenchArgs& a, int64_t planeBytes, const double (&load)[3],
               const std::vector<StepResult>& results) {
  std::printf("{\n  \"tool\": \"megcxc-bench\",\n");
  std::printf("  \"sensors\": %lld,\n  \"time\": %lld,\n  \"freq\": %lld,\n  \"repeat\": %d,\n",
              static_cast<long long>(a.sensors), static_cast<long long>(a.timePt), static_cast<long long>(a.freqPt),
              a.repeat);
  std::printf("  \"plane_bytes\": %lld,\n  \"scale_factor\": %s,\n", static_cast<long long>(planeBytes),
              jsonNumber(kScaleFactor).c_str());
  std::printf("  \"load_average\": [%s, %s, %s],\n", jsonNumber(load[0]).c_str(), jsonNumber(load[1]).c_str(),
              jsonNumber(load[2]).c_str());
  std::printf("  \"peak_rss_bytes\": %lld,\n  \"steps\": [\n", static_cast<long long>(peakRssBytes()));
  for (std::size_t i = 0; i < results.size(); ++i) {
    const StepResult& r = results[i];
    const double t = median(r.runs);
    const double limit = median(r.limitRuns);
    const double touch = median(r.firstTouchRuns);
    std::string runs;
    for (const double s : r.runs) runs += (runs.empty() ? "" : ", ") + jsonNumber(s);
    // One step per line, so a line-oriented reader needs no JSON parser.
    std::printf(
        "    {\"id\": %s, \"label\": %s, \"seconds\": %s, \"runs\": [%s], \"cpu_seconds\": %s, \"limit\": %s, \"limit_bytes\": %lld, "
        "\"limit_seconds\": %s, \"x_limit\": %s, \"new_pages\": %s, \"first_touch_seconds\": %s, "
        "\"x_limit_with_new_pages\": %s, \"read_bytes\": %lld, \"written_bytes\": %lld, \"check\": %s}%s\n",
        jsonString(r.id).c_str(), jsonString(r.label).c_str(), jsonNumber(t).c_str(), runs.c_str(),
        jsonNumber(median(r.cpuRuns)).c_str(), jsonString(limitName(r.limit)).c_str(), static_cast<long long>(r.limitBytes), jsonNumber(limit).c_str(),
        jsonNumber(ratioOf(t, limit)).c_str(), jsonNumber(median(r.faultRuns)).c_str(), jsonNumber(touch).c_str(),
        jsonNumber(ratioOf(t, limit + touch)).c_str(), static_cast<long long>(r.traffic.read),
        static_cast<long long>(r.traffic.written), jsonNumber(r.check).c_str(), i + 1 < results.size() ? "," : "");
  }
  std::printf("  ]\n}\n");
}

void printTable(const BenchArgs& a, int64_t planeBytes, const double (&load)[3],
                const std::vector<StepResult>& results) {
  std::printf("megcxc-bench: %lld x %lld sensor pairs, %lld time x %lld frequency points, median of %d run%s\n",
              static_cast<long long>(a.sensors), static_cast<long long>(a.sensors), static_cast<long long>(a.timePt),
              static_cast<long long>(a.freqPt), a.repeat, a.repeat == 1 ? "" : "s");
  std::printf("one plane over all pairs: %.1f MB; load average %.2f %.2f %.2f\n",
              static_cast<double>(planeBytes) / 1e6, load[0], load[1], load[2]);
  // "new MB": memory the step touched for the first time (page faults);
  // "x limit+new" compares with the limit plus writing that much new memory.
  const double pageMB = static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
  std::printf("%-28s %9s %9s  %-6s %9s %8s %8s %12s\n", "step", "MB moved", "ms", "limit", "limit ms", "x limit",
              "new MB", "x limit+new");
  for (const StepResult& r : results) {
    const double t = median(r.runs) * 1e3;
    const double limit = median(r.limitRuns) * 1e3;
    const double touch = median(r.firstTouchRuns) * 1e3;
    const double moved = static_cast<double>(r.traffic.read + r.traffic.written) / 1e6;
    const double fresh = median(r.faultRuns) * pageMB;
    if (r.limitRuns.empty()) {
      std::printf("%-28s %9.1f %9.2f  %-6s %9s %8s %8.1f %12s\n", r.label.c_str(), moved, t, "-", "-", "-", fresh,
                  "-");
    } else {
      std::printf("%-28s %9.1f %9.2f  %-6s %9.2f %8.2f %8.1f %12.2f\n", r.label.c_str(), moved, t,
                  limitName(r.limit), limit, ratioOf(t, limit), fresh, ratioOf(t, limit + touch));
    }
  }
  std::printf("peak resident memory: %.1f MB\n", static_cast<double>(peakRssBytes()) / 1e6);
}

int runBench(const BenchArgs& args) {
  DemoOptions size;
  size.sensors = args.sensors;
  size.timePt = args.timePt;
  size.freqPt = args.freqPt;
  const std::string problem = checkDemoOptions(size);
  if (!problem.empty()) badUsage(problem);
  if (args.timePt < 2) badUsage("--time must be at least 2 (the control dataset is collapsed over time)");
  if (args.repeat < 1 || args.repeat > 1000) badUsage("--repeat must lie between 1 and 1000");

  const std::vector<std::string> known = Bench::stepIds();
  const std::vector<std::string> wanted = splitList(args.only);
  for (const std::string& id : wanted) {
    if (std::find(known.begin(), known.end(), id) == known.end()) {
      std::string list;
      for (const std::string& k : known) list += (list.empty() ? "" : ", ") + k;
      badUsage("--only: unknown step '" + id + "' (steps: " + list + ")");
    }
  }

  // At its peak the process holds the active dataset with its power/phase
  // plane, a control dataset, the active-control result, an archive in memory
  // (with the room it grew into), a loaded copy and the two reference buffers:
  // about 30 planes (4.5 GB at 306 sensors, 5 x 40). Refuse sizes this
  // machine cannot hold.
  const double planeBytes = static_cast<double>(args.sensors * args.sensors) * static_cast<double>(args.timePt) *
                            static_cast<double>(args.freqPt) * 8.0;
  const double physical = static_cast<double>(::sysconf(_SC_PHYS_PAGES)) * static_cast<double>(::sysconf(_SC_PAGESIZE));
  if (physical > 0.0 && 30.0 * planeBytes > physical) {
    refuse("about " + std::to_string(static_cast<long long>(30.0 * planeBytes / 1e6)) +
           " MB would be needed; this machine has " + std::to_string(static_cast<long long>(physical / 1e6)) + " MB");
  }

  double load[3] = {NAN, NAN, NAN};
  if (::getloadavg(load, 3) != 3) load[0] = load[1] = load[2] = NAN;

  Bench bench(args);
  const std::vector<StepResult> results = bench.run(wanted);
  if (args.json) {
    printJson(args, bench.planeBytes(), load, results);
  } else {
    printTable(args, bench.planeBytes(), load, results);
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  BenchArgs args;
  int threads = 0;
  CLI::App app{
      "megcxc-bench: time the whole-dataset operations (fill, magnitude, phase, scale, accumulate, class summary, "
      "A-C, RMS normalisation, frequency report, save and load) on a synthetic collection, each the median of "
      "--repeat runs beside the memcpy / write / read of the bytes it moves",
      kProgram};
  app.add_option("--sensors", args.sensors, "number of MEG sensors")->capture_default_str();
  app.add_option("--time", args.timePt, "number of time points (at least 2)")->capture_default_str();
  app.add_option("--freq", args.freqPt, "number of frequency points")->capture_default_str();
  app.add_option("--repeat", args.repeat, "runs of each step; the median is shown")->capture_default_str();
  app.add_flag("--json", args.json, "print the results as JSON (one step per line)");
  app.add_option("--only", args.only, "comma-separated steps to run (default: all)")->type_name("STEPS");
  app.add_flag("--no-limit", args.noLimit,
               "skip the memcpy / write / read references (their buffers would count in peak memory)");
  app.add_option("--threads", threads,
                 "threads for the passes that compute per cell (phase, magnitude); 0 = one per core (default)")
      ->check(CLI::Range(0, 256));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::fprintf(stderr, "%s: %s (see '%s --help')\n", kProgram, e.what(), kProgram);
    return kExitUsage;
  }

  megcxc::setWorkerThreads(threads);
  const MessagesToStderr messages;
  try {
    return runBench(args);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    return kExitUsage;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s: not enough memory\n", kProgram);
    return kExitRefused;
  } catch (const std::exception& e) {
    // megcxc::Refused from a step, CArchiveException from a load, a failed
    // file operation of the references.
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    return kExitRefused;
  }
}
