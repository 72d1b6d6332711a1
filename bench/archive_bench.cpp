// Saving and loading a collection at 64 and 306 sensors (5 time x 40
// frequency points): one active dataset whose pairs hold real, imaginary and
// power/phase planes with raw backups of all three, plus its summaries.
// Each figure sits beside one plain fwrite / fread of the same number of
// bytes (ref_ms, x_ref) and, for reading, a memcpy into fresh memory
// (memcpy_ms), all measured in the same loop (see bench_support.h).
//
// Files go to $MEGCXC_BENCH_DIR (default /tmp); they live in the page cache,
// so the file figures are those of the C library and the kernel's cache, not
// of the disk, except for the atomic save, which syncs. Before every timed
// write (of the archive and of the reference alike) the target is removed and
// the dirty pages of earlier runs are synced, untimed, so neither pays for
// truncating the previous file or for write-back it did not cause.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "face/meg_spctm_cc_data_facezq.h"
#include "platform/carchive.h"
#include "platform/cfile.h"

namespace {

using namespace megcxc_bench;

// Removes `path` and waits until earlier writes are on disk.
void freshTarget(const std::string& path) {
  std::remove(path.c_str());
  ::sync();
}

std::string benchPath(const char* name) {
  const char* dir = std::getenv("MEGCXC_BENCH_DIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/megcxc_bench_" + std::to_string(::getpid()) + "_" + name;
}

// The collection and its archive bytes, built once per sensor count.
struct Stored {
  explicit Stored(int64_t n) {
    auto* d = new CSpctmTrlCCDatazq;
    fillDataset(*d, n, kTime, kFreq);
    d->computeMagnitude(0);
    for (int64_t r = 0; r < n; ++r) {
      for (int64_t c = 0; c < n; ++c) d->pairMatrix[r][c].storeData2Backupfile();
    }
    face.addSpctmDataSet(d, 0);
    face.cmpSumCCSpctmAllClassType4ActSns();
    CMemFile mem;
    {
      CArchive ar(&mem, CArchive::store);
      face.serializeSpctmFace(ar);
      ar.Close();
    }
    bytes = mem.bytes();
    path = benchPath(("collection_" + std::to_string(n)).c_str());
    refPath = benchPath(("reference_" + std::to_string(n)).c_str());
    writeFile(path);
  }
  ~Stored() {
    std::remove(path.c_str());
    std::remove(refPath.c_str());
  }
  // Plain fwrite of the archive bytes to `target`; optionally synced.
  Span writeFile(const std::string& target, bool sync = false) const {
    const Stopwatch watch;
    std::FILE* f = std::fopen(target.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    if (sync && (std::fflush(f) != 0 || ::fsync(fileno(f)) != 0)) std::abort();
    std::fclose(f);
    return watch.elapsed();
  }
  // Plain fread of the whole file `path` into freshly allocated memory (the
  // memory is released untimed).
  Span readFile() const {
    const Stopwatch watch;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) std::abort();
    auto* buffer = static_cast<char*>(std::malloc(bytes.size()));
    if (buffer == nullptr || std::fread(buffer, 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
    benchmark::DoNotOptimize(buffer);
    const Span t = watch.elapsed();
    std::free(buffer);
    return t;
  }
  // memcpy of the archive bytes into freshly allocated memory.
  Span copyToFresh() const {
    const Stopwatch watch;
    auto* buffer = static_cast<char*>(std::malloc(bytes.size()));
    if (buffer == nullptr) std::abort();
    std::memcpy(buffer, bytes.data(), bytes.size());
    benchmark::DoNotOptimize(buffer);
    benchmark::ClobberMemory();
    const Span t = watch.elapsed();
    std::free(buffer);
    return t;
  }

  CMEGSpctmCCDataFacezq face;
  std::vector<uint8_t> bytes;
  std::string path, refPath;
};

Stored& stored(int64_t n) {
  static std::map<int64_t, std::unique_ptr<Stored>> cache;
  auto& slot = cache[n];
  if (!slot) slot = std::make_unique<Stored>(n);
  return *slot;
}

// Sums of one repetition: the operation, the fwrite/fread reference and the
// memcpy reference.
struct Sums {
  Span op, ref, copy;
  int64_t runs = 0;
  static void add(Span& sum, Span s) {
    sum.wall += s.wall;
    sum.cpu += s.cpu;
  }
  void addOperation(Span s) { add(op, s); }
  void addReference(Span s) { add(ref, s); }
  void addCopy(Span s) {
    add(copy, s);
    ++runs;
  }
  void report(benchmark::State& state, const Stored& s) const {
    const double k = runs > 0 ? 1e3 / static_cast<double>(runs) : 0.0;
    state.counters["ms"] = op.wall * k;
    state.counters["ref_ms"] = ref.wall * k;
    state.counters["x_ref"] = ref.wall > 0.0 ? op.wall / ref.wall : 0.0;
    state.counters["cpu_x_ref"] = ref.cpu > 0.0 ? op.cpu / ref.cpu : 0.0;
    state.counters["memcpy_ms"] = copy.wall * k;
    state.counters["MB"] = static_cast<double>(s.bytes.size()) / 1e6;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s.bytes.size()));
  }
};

void BM_SaveToMemory(benchmark::State& state) {
  Stored& s = stored(state.range(0));
  Sums sums;
  for (auto _ : state) {
    const Stopwatch watch;
    auto mem = std::make_unique<CMemFile>();
    {
      CArchive ar(mem.get(), CArchive::store);
      s.face.serializeSpctmFace(ar);
      ar.Close();
    }
    benchmark::DoNotOptimize(mem->data());
    sums.addOperation(watch.elapsed());
    state.PauseTiming();
    if (mem->size() != s.bytes.size()) state.SkipWithError("archive size changed");
    mem.reset();
    freshTarget(s.refPath);
    sums.addReference(s.writeFile(s.refPath));
    sums.addCopy(s.copyToFresh());
    state.ResumeTiming();
  }
  sums.report(state, s);
}

// Times `load(collection)` into a fresh collection (1 on success), each run
// beside a plain read of the same bytes into fresh memory.
template <class Load>
void timeLoads(benchmark::State& state, Stored& s, Load load) {
  // One untimed load first: on a virtual machine the first touch of memory
  // the process never had costs several times a later one (the host backs
  // the guest's pages then), which the reference, run after it, never pays.
  {
    CMEGSpctmCCDataFacezq warm;
    if (load(warm) != 1) state.SkipWithError("load failed");
    s.readFile();
  }
  Sums sums;
  for (auto _ : state) {
    const Stopwatch watch;
    auto loaded = std::make_unique<CMEGSpctmCCDataFacezq>();
    if (load(*loaded) != 1) state.SkipWithError("load failed");
    sums.addOperation(watch.elapsed());
    state.PauseTiming();
    loaded.reset();
    sums.addReference(s.readFile());
    sums.addCopy(s.copyToFresh());
    state.ResumeTiming();
  }
  sums.report(state, s);
}

// The collection archive read from `file` (from its start).
int loadArchive(CMEGSpctmCCDataFacezq& into, CFile& file) {
  CArchive ar(&file, CArchive::load);
  return into.serializeSpctmFace(ar);
}

// Times `save()` writing the collection to s.path, each run beside a plain
// write of the same bytes (with fsync when `synced`); leaves the file for the
// load benchmarks.
template <class Save>
void timeFileSaves(benchmark::State& state, Stored& s, Save save, bool synced) {
  freshTarget(s.path);
  Sums sums;
  for (auto _ : state) {
    const Stopwatch watch;
    save();
    sums.addOperation(watch.elapsed());
    state.PauseTiming();
    freshTarget(s.refPath);
    sums.addReference(s.writeFile(s.refPath, synced));
    sums.addCopy(s.copyToFresh());
    freshTarget(s.path);
    state.ResumeTiming();
  }
  s.writeFile(s.path);
  sums.report(state, s);
}

void BM_LoadFromMemory(benchmark::State& state) {
  Stored& s = stored(state.range(0));
  CMemFile mem(s.bytes);  // built once: only the load is timed
  timeLoads(state, s, [&mem](CMEGSpctmCCDataFacezq& into) {
    mem.seekToBegin();
    return loadArchive(into, mem);
  });
}

void BM_SaveToFile(benchmark::State& state) {
  Stored& s = stored(state.range(0));
  timeFileSaves(
      state, s,
      [&s] {
        CFile file(s.path, CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        s.face.serializeSpctmFace(ar);
        ar.Close();
        file.Close();
      },
      false);
}

void BM_LoadFromFile(benchmark::State& state) {
  Stored& s = stored(state.range(0));
  timeLoads(state, s, [&s](CMEGSpctmCCDataFacezq& into) {
    CFile file(s.path, CFile::modeRead);
    return loadArchive(into, file);
  });
}

// saveToFile: temporary file, flush, fsync, rename; beside fwrite + fsync.
void BM_SaveToFileAtomic(benchmark::State& state) {
  Stored& s = stored(state.range(0));
  timeFileSaves(
      state, s, [&] { if (s.face.saveToFile(s.path) != 1) state.SkipWithError("save failed"); }, true);
}

// loadFromFile: reads into a fresh collection and checks the whole file.
void BM_LoadFromFileChecked(benchmark::State& state) {
  Stored& s = stored(state.range(0));
  timeLoads(state, s, [&s](CMEGSpctmCCDataFacezq& into) { return into.loadFromFile(s.path); });
}

}  // namespace

#define MEGCXC_ARCHIVE(fn) BENCHMARK(fn)->Arg(64)->Arg(306)->Unit(benchmark::kMillisecond)->UseRealTime()

MEGCXC_ARCHIVE(BM_SaveToMemory);
MEGCXC_ARCHIVE(BM_LoadFromMemory);
MEGCXC_ARCHIVE(BM_SaveToFile);
MEGCXC_ARCHIVE(BM_LoadFromFile);
MEGCXC_ARCHIVE(BM_SaveToFileAtomic);
MEGCXC_ARCHIVE(BM_LoadFromFileChecked);
