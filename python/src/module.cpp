// _megcxc: the extension module under the megcxc package. It translates
// between Python and the host/ layer and holds no domain logic: the
// package's Python classes (megcxc/__init__.py) give it its public shape.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <sys/mman.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "face/meg_spctm_cc_data_face09_file.h"
#include "compute/connectivity.h"
#include "host/arrays.h"
#include "host/connectivity.h"
#include "host/demo_data.h"
#include "host/describe.h"
#include "host/exchange.h"
#include "host/metadata.h"
#include "host/mne_exchange.h"
#include "host/names.h"
#include "host/small_demo.h"
#include "host/steps.h"
#include "library_call.h"
#include "platform/parallel.h"
#include "platform/refused.h"
#include "trial/spctm_trl_pair_walk.h"

namespace megcxc::python {

namespace {

constexpr const char* kRemoved = "the dataset was removed from its collection";

int checkedClass(int spctmClass) {
  if (spctmClass < 0 || spctmClass >= host::kClassCount) raiseError("unknown class " + std::to_string(spctmClass));
  return spctmClass;
}

// A buffer for `count` doubles; large ones are asked to use huge pages (as
// NumPy does for its own arrays), which makes the first touch of every page
// of a dataset-sized array several times cheaper. Null when out of memory.
double* newBuffer(int64_t count) {
  constexpr std::size_t kHuge = std::size_t{1} << 21;
  std::size_t bytes = static_cast<std::size_t>(count) * sizeof(double);
  if (bytes < 4 * kHuge) return static_cast<double*>(std::malloc(bytes > 0 ? bytes : 1));
  bytes = (bytes + kHuge - 1) / kHuge * kHuge;
  void* p = std::aligned_alloc(kHuge, bytes);
  if (p) ::madvise(p, bytes, MADV_HUGEPAGE);
  return static_cast<double*>(p);
}

// A NumPy array taking over a buffer of newBuffer (freed with the array).
py::array ownedArray(double* data, std::vector<py::ssize_t> shape, bool complex) {
  py::capsule owner(data, [](void* p) { std::free(p); });
  if (complex) return py::array_t<std::complex<double>>(shape, reinterpret_cast<std::complex<double>*>(data), owner);
  return py::array_t<double>(shape, data, owner);
}

py::array vectorArray(const std::vector<double>& v) { return py::array_t<double>(static_cast<py::ssize_t>(v.size()), v.data()); }

// A NumPy array over a vector's values, taking the vector over (no copy);
// complex: the values are real, imaginary pairs.
py::array arrayTakingOver(std::vector<double>&& values, std::vector<py::ssize_t> shape, bool complex) {
  auto* owned = new std::vector<double>(std::move(values));
  py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<double>*>(p); });
  if (complex) {
    return py::array_t<std::complex<double>>(shape, reinterpret_cast<std::complex<double>*>(owned->data()), owner);
  }
  return py::array_t<double>(shape, owned->data(), owner);
}

// An mne-connectivity object's parts (as the package takes them from a
// SpectroTemporalConnectivity) as the struct the host maps to a dataset.
interop::MneConnectivity mneFromParts(const py::array& data, const std::vector<double>& freqs,
                                      const std::vector<double>& times, int64_t nNodes,
                                      const std::vector<std::string>& names, const std::vector<std::string>& method,
                                      const py::object& indices, std::optional<double> sfreq) {
  interop::MneConnectivity c;
  c.complex = data.dtype().is(py::dtype::of<std::complex<double>>());
  if (!(c.complex || data.dtype().is(py::dtype::of<double>())) || !(data.flags() & py::array::c_style)) {
    throw py::type_error("connectivity data: expected a C-ordered float64 or complex128 array");
  }
  for (py::ssize_t k = 0; k < data.ndim(); ++k) c.shape.push_back(data.shape(k));
  c.layout = data.ndim() == 4 ? interop::MneLayout::dense : interop::MneLayout::raveled;
  const std::size_t count = static_cast<std::size_t>(data.size()) * (c.complex ? 2 : 1);
  const double* values = static_cast<const double*>(data.data());
  c.data.assign(values, values + count);
  c.freqs = freqs;
  c.times = times;
  c.nNodes = nNodes;
  c.nodeNames = names;
  c.method = method;
  c.sfreq = sfreq;
  if (indices.is_none()) {
    c.indices = interop::MneIndices::unset;
  } else if (py::isinstance<py::str>(indices)) {
    const std::string key = indices.cast<std::string>();
    if (key == "all") {
      c.indices = interop::MneIndices::all;
    } else if (key == "symmetric") {
      c.indices = interop::MneIndices::symmetric;
    } else {
      throw py::value_error("indices '" + key + "' are neither 'all', 'symmetric' nor seeds and targets");
    }
  } else {
    auto pair = indices.cast<std::pair<std::vector<int64_t>, std::vector<int64_t>>>();
    c.indices = interop::MneIndices::pairs;
    c.seeds = std::move(pair.first);
    c.targets = std::move(pair.second);
  }
  return c;
}

// Python's handle on one class slot of a collection.
class DatasetRef {
 public:
  DatasetRef(HolderPtr holder, int spctmClass)
      : holder_(std::move(holder)), class_(spctmClass), generation_(holder_->generation[spctmClass]) {}

  const HolderPtr& holder() const { return holder_; }
  int spctmClass() const { return class_; }
  // True while the slot still holds the dataset this handle was taken from.
  bool valid() const {
    return holder_->generation[class_] == generation_ && holder_->collection.trialByClass[class_] != nullptr;
  }
  // The dataset, for use inside a library call; Refused when it is gone.
  host::Dataset& get() const {
    if (!valid()) refuse(kRemoved);
    return *holder_->collection.trialByClass[class_];
  }
  std::string name() const { return host::classKey(class_); }

  // Runs fn(dataset) as one library call.
  template <class Fn>
  void call(Fn&& fn, Progress* progress = nullptr) const {
    callLibrary([&] { fn(get()); }, progress);
  }

 private:
  HolderPtr holder_;
  int class_;
  uint64_t generation_;
};

// Runs fn(collection) as one library call; every slot whose dataset pointer
// changed, and the slots in `replaced`, get a new generation.
template <class Fn>
void onCollection(Holder& h, std::initializer_list<int> replaced, Fn&& fn, Progress* progress = nullptr) {
  callLibrary(
      [&] {
        host::Dataset* before[3];
        for (int k = 0; k < 3; ++k) before[k] = h.collection.trialByClass[k];
        // A refused call leaves the slots as they were unless a dataset
        // pointer changed; a call that went through has replaced its slots.
        struct Bump {
          Holder& h;
          host::Dataset** before;
          ~Bump() {
            for (int k = 0; k < 3; ++k) {
              if (h.collection.trialByClass[k] != before[k]) h.bump(k);
            }
          }
        } bump{h, before};
        fn(h.collection);
        for (const int k : replaced) h.bump(k);
      },
      progress);
}

py::tuple headerTuple(const host::ArchiveHeader& header) {
  return py::make_tuple(header.kind == host::ArchiveKind::collection ? "collection" : "trial", header.magic,
                        header.version);
}

host::ArchiveHeader headerFrom(const std::string& kind, const std::string& magic, int32_t version) {
  host::ArchiveHeader h;
  h.kind = kind == "trial" ? host::ArchiveKind::trial : host::ArchiveKind::collection;
  h.magic = magic;
  h.version = version;
  return h;
}

using AxisArray = std::optional<py::array_t<double, py::array::c_style | py::array::forcecast>>;

// An axis given from Python (or nothing) as the import sees it.
host::ImportVector axisVector(const AxisArray& array, const char* name) {
  host::ImportVector v;
  v.name = name;
  if (!array) return v;
  for (py::ssize_t k = 0; k < array->ndim(); ++k) v.shape.push_back(array->shape(k));
  v.values = array->data();
  return v;
}

void bindNames(py::module_& m) {
  m.def("class_key", &host::classKey);
  m.def("class_from_key", &host::classFromKey);
  m.def("data_type_key", &host::dataTypeKey);
  m.def("data_type_from_key", &host::dataTypeFromKey);
  m.def("axis_from_key", &host::axisFromKey);
  m.def("operation_from_name", &host::actCtlOperationFromName);
  m.def("operation_name", &host::actCtlOperationName);
  m.def("magnitude_mode_from_key", &host::magnitudeModeFromKey);
  m.def("computation_from_name", &host::computationFromName);
  m.def("computation_name", &host::computationName);
  m.def("store_type_name", &host::storeTypeName);
  m.def("set_worker_threads", [](int n) {
    int previous = 0;
    callLibrary([&] { previous = setWorkerThreads(n); });
    return previous;
  });
  m.def("worker_threads", [] { return workerThreads(); });
}

void bindSteps(py::module_& m) {
  py::enum_<host::StepKind>(m, "StepKind")
      .value("magnitude", host::StepKind::magnitude)
      .value("phase", host::StepKind::phase)
      .value("log", host::StepKind::log)
      .value("scale", host::StepKind::scale)
      .value("zero_diagonal", host::StepKind::zeroDiagonal)
      .value("accumulate", host::StepKind::accumulate)
      .value("act_ctl", host::StepKind::actCtl)
      .value("rms_normalise", host::StepKind::rmsNormalise)
      .value("root_strip", host::StepKind::rootStrip)
      .value("nan_to_zero", host::StepKind::nanToZero)
      .value("summaries", host::StepKind::summaries)
      .value("restore_raw", host::StepKind::restoreRaw)
      .value("cut_values", host::StepKind::cutValues)
      .value("cut_box", host::StepKind::cutBox);
}

// Runs one host step; with `on`, only while that dataset is still in its
// slot (the step then works on its class).
std::string runStep(Holder& h, const DatasetRef* on, host::StepKind kind, int spctmClass, int dataType, int code,
                    std::array<double, 3> values, std::array<int64_t, 4> box, int consent, py::object progress) {
  host::Step s = host::stepOf(kind, on ? on->spctmClass() : spctmClass);
  s.dataType = dataType;
  s.code = code;
  for (int k = 0; k < 3; ++k) s.values[k] = values[static_cast<std::size_t>(k)];
  for (int k = 0; k < 4; ++k) s.box[k] = box[static_cast<std::size_t>(k)];
  s.consent = consent > 0 ? host::Consent::yes : host::Consent::no;
  host::Outcome outcome;
  // A step is not abandoned halfway: a raising callback is raised after it.
  Progress rows(std::move(progress));
  onCollection(
      h, {},
      [&](host::Collection& c) {
        if (on) on->get();
        outcome = host::applyStep(c, s, rows.active() ? host::StepProgress(std::ref(rows)) : host::StepProgress());
        if (!outcome) refuse(outcome.text);
      },
      &rows);
  return outcome.text;
}

std::string applyStep(Holder& h, host::StepKind kind, int spctmClass, int dataType, int code,
                      std::array<double, 3> values, std::array<int64_t, 4> box, int consent, py::object progress) {
  return runStep(h, nullptr, kind, spctmClass, dataType, code, values, box, consent, std::move(progress));
}

// Runs an mne-connectivity import into slot k; its names replace the slot's.
template <class Fn>
py::dict importMne(Holder& h, int k, Fn&& fn) {
  host::MneImportSummary s;
  host::Metadata metadata = h.metadata;
  onCollection(h, {k}, [&](host::Collection& c) { s = fn(c, metadata); });
  h.metadata.byClass[k] = metadata.byClass[k];
  return py::dict(py::arg("completed_upper_triangle") = s.completedUpperTriangle,
                  py::arg("cells_without_value") = s.cellsWithoutValue,
                  py::arg("sfreq") = s.sfreq > 0.0 ? py::object(py::float_(s.sfreq)) : py::none(),
                  py::arg("method") = s.method);
}

// A C-ordered float64 or float32 array of epochs x channels x samples, read
// in place (the Python side converts anything else before the call).
compute::EpochsView epochsView(const py::handle& object) {
  const auto array = py::reinterpret_borrow<py::array>(object);
  if (array.ndim() != 3) throw py::value_error("epochs must have 3 dimensions (epochs, channels, samples)");
  if (!(array.flags() & py::array::c_style)) throw py::value_error("epochs must be C-contiguous");
  compute::EpochsView v;
  if (array.dtype().is(py::dtype::of<double>())) {
    v.float64 = static_cast<const double*>(array.data());
  } else if (array.dtype().is(py::dtype::of<float>())) {
    v.float32 = static_cast<const float*>(array.data());
  } else {
    throw py::type_error("epochs must be float64 or float32");
  }
  v.epochs = array.shape(0);
  v.channels = array.shape(1);
  v.samples = array.shape(2);
  return v;
}

void bindCollection(py::module_& m) {
  py::class_<Holder, HolderPtr>(m, "_Collection", "The library's collection of class datasets (internal).")
      .def(py::init<>())
      .def(
          "load",
          [](Holder& h, const std::string& path, bool acceptTrial, py::object progress) {
            host::ArchiveHeader header;
            host::Metadata metadata;
            std::vector<std::string> warnings;
            Progress bytes(std::move(progress), true);
            onCollection(
                h, {0, 1, 2},
                [&](host::Collection& c) {
                  header = host::loadCollectionWithMetadata(
                      path, c, metadata, acceptTrial, &warnings,
                      bytes.active() ? host::ByteProgress(std::ref(bytes)) : host::ByteProgress());
                },
                &bytes);
            h.metadata = std::move(metadata);
            warnAll(warnings);
            return headerTuple(header);
          },
          py::arg("path"), py::arg("accept_trial"), py::arg("progress") = py::none())
      .def(
          "save",
          [](Holder& h, const std::string& path, py::object progress) {
            Progress bytes(std::move(progress), true);
            onCollection(
                h, {},
                [&](host::Collection& c) {
                  host::saveCollectionWithMetadata(
                      path, c, h.metadata, bytes.active() ? host::ByteProgress(std::ref(bytes)) : host::ByteProgress());
                },
                &bytes);
          },
          py::arg("path"), py::arg("progress") = py::none())
      .def("describe",
           [](Holder& h, const std::string& file, const std::string& kind, const std::string& magic, int32_t version,
              bool json) {
             std::string text;
             const host::ArchiveHeader header = headerFrom(kind, magic, version);
             onCollection(h, {}, [&](host::Collection& c) {
               text = json ? host::describeCollectionJson(file, header, c, &h.metadata)
                           : host::describeCollectionText(file, header, c, &h.metadata);
             });
             return text;
           })
      .def_property(
          "name",
          [](Holder& h) {
            std::string name;
            underLibraryLock([&] { name = h.collection.collectionName.toUtf8(); });
            return name;
          },
          [](Holder& h, const std::string& name) {
            onCollection(h, {}, [&](host::Collection& c) { c.collectionName = CString(name); });
          })
      .def_property(
          "current_class",
          [](Holder& h) {
            int k = -1;
            underLibraryLock([&] { k = h.collection.currentClass; });
            return k;
          },
          [](Holder& h, int k) {
            if (k != -1) checkedClass(k);
            onCollection(h, {}, [&](host::Collection& c) { c.currentClass = k; });
          })
      .def("has",
           [](Holder& h, int k) {
             checkedClass(k);
             bool present = false;
             underLibraryLock([&] { present = h.collection.trialByClass[k] != nullptr; });
             return present;
           })
      .def("dataset",
           [](const HolderPtr& h, int k) -> std::optional<DatasetRef> {
             checkedClass(k);
             std::optional<DatasetRef> ref;
             underLibraryLock([&] {
               if (h->collection.trialByClass[k]) ref.emplace(h, k);
             });
             return ref;
           })
      .def("remove",
           [](Holder& h, int k) {
             checkedClass(k);
             onCollection(h, {k}, [&](host::Collection& c) { c.deleteSpctmTrlData(k); });
           })
      .def(
          "put",
          [](const HolderPtr& h, int k, const DatasetRef& from, bool move) {
            checkedClass(k);
            const HolderPtr& src = from.holder();
            if (src == h && from.spctmClass() == k) {
              if (!from.valid()) raiseError(kRemoved);
              return;
            }
            host::DatasetMetadata names;
            onCollection(*h, {k}, [&](host::Collection& c) {
              host::Dataset& d = from.get();
              names = src->metadata.byClass[from.spctmClass()];
              host::Dataset* taken = nullptr;
              if (move) {
                // Out of its slot first, so the dataset is never held twice.
                src->collection.trialByClass[from.spctmClass()] = nullptr;
                src->bump(from.spctmClass());
                taken = &d;
              } else {
                taken = new host::Dataset(d);
                if (d.pairMatrix && !taken->pairMatrix) {
                  delete taken;
                  refuse("not enough memory to copy the dataset");
                }
              }
              if (!c.addSpctmDataSet(taken, k)) {
                delete taken;
                refuse("the dataset could not be stored");
              }
            });
            h->metadata.byClass[k] = std::move(names);
          },
          py::arg("spctm_class"), py::arg("dataset"), py::arg("move"))
      .def("apply", &applyStep, py::arg("kind"), py::arg("spctm_class"), py::arg("data_type"), py::arg("code"),
           py::arg("values"), py::arg("box"), py::arg("consent"), py::arg("progress") = py::none())
      .def(
          "import_arrays",
          [](Holder& h, int k, py::array data, bool sft, const AxisArray& freqs, const AxisArray& times, double sfreq,
             double tmin, int cmptType, const std::string& dataName, py::object progress) {
            const bool complex = data.dtype().is(py::dtype::of<std::complex<double>>());
            if (!(complex || data.dtype().is(py::dtype::of<double>())) ||
                !(data.flags() & py::array::c_style)) {
              throw py::type_error(dataName + ": expected a C-ordered float64 or complex128 array");
            }
            host::ArrayImport a;
            a.spctmClass = k;
            a.data.name = dataName;
            for (py::ssize_t i = 0; i < data.ndim(); ++i) a.data.shape.push_back(data.shape(i));
            a.data.values = static_cast<const double*>(data.data());
            a.complex = complex;
            a.sft = sft;
            a.freqs = axisVector(freqs, "freqs");
            a.times = axisVector(times, "times");
            a.sfreq = sfreq;
            a.tmin = tmin;
            a.cmptType = cmptType;
            Progress rows(std::move(progress));
            host::ImportSummary done;
            onCollection(
                h, {k},
                [&](host::Collection& c) {
                  done = host::importArrays(c, a, nullptr, nullptr,
                                            rows.active() ? host::RowProgress(std::ref(rows)) : host::RowProgress());
                },
                &rows);
            return py::dict(py::arg("sfreq") = done.sfreq, py::arg("freqs_guessed") = done.freqsGuessed, py::arg("geometric") = done.geometric,
                            py::arg("first_sample") = done.firstSample, py::arg("time_step") = done.timeStep);
          },
          py::arg("spctm_class"), py::arg("data"), py::arg("sft"), py::arg("freqs"),
          py::arg("times"), py::arg("sfreq"), py::arg("tmin"), py::arg("cmpt_type"), py::arg("data_name"), py::arg("progress"))
      .def(
          "import_mne",
          [](Holder& h, int k, const py::array& data, const std::vector<double>& freqs,
             const std::vector<double>& times, int64_t nNodes, const std::vector<std::string>& names,
             const std::vector<std::string>& method, const py::object& indices, std::optional<double> sfreq) {
            checkedClass(k);
            const interop::MneConnectivity in = mneFromParts(data, freqs, times, nNodes, names, method, indices, sfreq);
            return importMne(h, k, [&](host::Collection& c, host::Metadata& m) {
              return host::setFromMneConnectivity(c, k, in, m, "mne-connectivity data");
            });
          },
          py::arg("spctm_class"), py::arg("data"), py::arg("freqs"), py::arg("times"), py::arg("n_nodes"),
          py::arg("names"), py::arg("method"), py::arg("indices"), py::arg("sfreq"))
      .def(
          "import_mne_file",
          [](Holder& h, int k, const std::string& path) {
            checkedClass(k);
            return importMne(h, k, [&](host::Collection& c, host::Metadata& m) {
              return host::importMneConnectivity(c, k, path, m);
            });
          },
          py::arg("spctm_class"), py::arg("path"))
      .def(
          "build_demo",
          [](Holder& h, int64_t sensors, int64_t timePt, int64_t freqPt, uint64_t seed, py::object progress) {
            host::DemoOptions o;
            o.sensors = sensors;
            o.timePt = timePt;
            o.freqPt = freqPt;
            o.seed = seed;
            Progress rows(std::move(progress));
            onCollection(
                h, {0, 1},
                [&](host::Collection& c) {
                  host::ClassRowProgress each;
                  if (rows.active()) {
                    each = [&rows, &o](int cls, int64_t done, int64_t total) { rows(cls * total + done, 2 * total); };
                  }
                  const std::string problem = host::buildDemoDatasets(c, o, nullptr, nullptr, each);
                  if (!problem.empty()) refuse("demo: " + problem);
                  c.collectionName = "cxc demo";
                  c.currentClass = 0;
                },
                &rows);
          },
          py::arg("sensors"), py::arg("time"), py::arg("freq"), py::arg("seed"), py::arg("progress"))
      .def(
          "compute",
          [](Holder& h, const py::array& active, const py::object& control, std::vector<std::string> names,
             double sfreq, std::vector<double> freqs, std::vector<double> cycles, int64_t decim,
             std::optional<double> tmin, std::optional<double> tmax, const std::string& method, bool zeroMean,
             py::object progress) {
            // The arrays stay referenced here while the GIL is released; the
            // computation reads them in place.
            const host::EpochsSource activeSource{"active epochs", epochsView(active)};
            std::optional<host::EpochsSource> controlSource;
            if (!control.is_none()) controlSource = host::EpochsSource{"control epochs", epochsView(control)};
            compute::Options o;
            o.sfreq = sfreq;
            o.freqs = std::move(freqs);
            o.nCycles = std::move(cycles);
            o.decim = decim;
            o.tmin = tmin;
            o.tmax = tmax;
            const std::optional<compute::Method> m = compute::methodFromKey(method);
            if (!m) throw py::value_error("unknown method '" + method + "'");
            o.method = *m;
            o.zeroMean = zeroMean;
            Progress rows(std::move(progress));
            compute::Progress sink;
            if (rows.active()) sink.callback = [&rows](const char*, int64_t done, int64_t total) { rows(done, total); };
            std::vector<std::string> channelNames;
            onCollection(
                h, {0, 1},
                [&](host::Collection& c) {
                  const host::ComputeOutcome outcome = host::computeCollection(
                      c, activeSource, controlSource ? &*controlSource : nullptr, std::move(names), o, sink);
                  channelNames = outcome.channelNames;
                },
                &rows);
            return channelNames;
          },
          py::arg("active"), py::arg("control"), py::arg("names"), py::arg("sfreq"), py::arg("freqs"),
          py::arg("cycles"), py::arg("decim"), py::arg("tmin"), py::arg("tmax"), py::arg("method"),
          py::arg("zero_mean"), py::arg("progress"))
      .def("build_small_demo", [](Holder& h) {
        onCollection(h, {0, 1, 2}, [&](host::Collection& c) {
          if (!host::smalldemo::buildDemoCollection(c, nullptr, nullptr)) refuse("the small demo could not be built");
        });
      });
}

py::array gather(const DatasetRef& ref, host::PlaneSet set, int dataType, int imagType, py::object progress) {
  Progress rows(std::move(progress));
  double* buffer = nullptr;
  host::PlaneGrid g;
  ref.call(
      [&](host::Dataset& d) {
        g = host::planeGrid(d, dataType, set, ref.name());
        const int64_t per = imagType >= 0 ? 2 : 1;
        std::unique_ptr<double, void (*)(void*)> owned(newBuffer(g.cells() * per), std::free);
        if (!owned) throw std::bad_alloc();
        host::gatherPlanes(d, set, dataType, imagType, owned.get(), ref.name(),
                           rows.active() ? host::RowProgress(std::ref(rows)) : host::RowProgress());
        buffer = owned.release();
      },
      &rows);
  return ownedArray(buffer, {g.rows, g.cols, g.timePt, g.freqPt}, imagType >= 0);
}

void bindDataset(py::module_& m) {
  py::class_<DatasetRef>(m, "_Dataset", "A class slot's dataset (internal).")
      .def_property_readonly("valid",
                             [](const DatasetRef& r) {
                               bool valid = false;
                               underLibraryLock([&] { valid = r.valid(); });
                               return valid;
                             })
      .def_property_readonly("spctm_class", &DatasetRef::spctmClass)
      .def_property_readonly("holder", &DatasetRef::holder)
      .def(
          "apply",
          [](const DatasetRef& r, host::StepKind kind, int dataType, int code, std::array<double, 3> values,
             std::array<int64_t, 4> box, py::object progress) {
            return runStep(*r.holder(), &r, kind, -1, dataType, code, values, box, 0, std::move(progress));
          },
          py::arg("kind"), py::arg("data_type"), py::arg("code"), py::arg("values"), py::arg("box"),
          py::arg("progress") = py::none())
      .def(
          "plane",
          [](const DatasetRef& r, int dataType, bool raw, py::object progress) {
            return gather(r, raw ? host::PlaneSet::raw : host::PlaneSet::working, dataType, -1, std::move(progress));
          },
          py::arg("data_type"), py::arg("raw") = false, py::arg("progress") = py::none())
      .def(
          "complex",
          [](const DatasetRef& r, bool raw, py::object progress) {
            return gather(r, raw ? host::PlaneSet::raw : host::PlaneSet::working, 0, 1, std::move(progress));
          },
          py::arg("raw") = false, py::arg("progress") = py::none())
      .def("to_mne",
           [](const DatasetRef& r) {
             interop::MneConnectivity c;
             r.call([&](host::Dataset&) {
               c = host::mneConnectivityOf(r.holder()->collection, r.spctmClass(), r.holder()->metadata,
                                           "the " + r.name() + " dataset");
             });
             const std::vector<py::ssize_t> shape(c.shape.begin(), c.shape.end());
             py::dict out;
             out["data"] = arrayTakingOver(std::move(c.data), shape, c.complex);
             out["freqs"] = vectorArray(c.freqs);
             out["times"] = vectorArray(c.times);
             out["n_nodes"] = c.nNodes;
             out["names"] = c.nodeNames.empty() ? py::object(py::none()) : py::cast(c.nodeNames);
             out["method"] = c.method.size() == 1 ? py::object(py::str(c.method.front())) : py::cast(c.method);
             out["sfreq"] = c.sfreq ? py::object(py::float_(*c.sfreq)) : py::none();
             return out;
           })
      .def("save_mne",
           [](const DatasetRef& r, const std::string& path) {
             r.call([&](host::Dataset&) {
               host::exportMneConnectivity(r.holder()->collection, r.spctmClass(), r.holder()->metadata, path);
             });
           })
      .def("info",
           [](const DatasetRef& r) {
             py::dict out;
             host::PlaneCensus census;
             int64_t rows = 0, cols = 0, timePt = 0, freqPt = 0, step = 0, first = 0;
             int64_t sel[4] = {0, 0, 0, 0}, pair[2] = {0, 0};
             std::string name, cxcType;
             int cmpt = 0, store = 0, log = 0;
             double firstHz = 0, lastHz = 0, stepHz = 0, ratio = 0, sfreq = 0;
             r.call([&](host::Dataset& d) {
               sfreq = host::samplingRate(d);
               census = host::countPlanes(d);
               rows = d.rowSnsCount;
               cols = d.colSnsCount;
               timePt = d.timePt;
               freqPt = d.freqPt;
               step = d.timeStep;
               first = d.timeDataBegin + d.timePtOffset;
               sel[0] = d.selTimeBegin;
               sel[1] = d.selTimeEnd;
               sel[2] = d.selFreqBegin;
               sel[3] = d.selFreqEnd;
               pair[0] = d.curActSns;
               pair[1] = d.curCxcSns;
               name = d.trialName.toUtf8();
               cxcType = d.cxcType.toUtf8();
               cmpt = d.cmptType;
               store = d.storeType;
               log = d.freqAxisLog;
               firstHz = d.freqFirstHz;
               lastHz = d.freqLastHz;
               stepHz = d.freqStepHz;
               ratio = d.freqRatio;
             });
             out["name"] = name;
             out["cxc_type"] = cxcType;
             out["computation"] = host::computationName(cmpt);
             out["store_type"] = host::storeTypeName(store);
             out["sensors"] = py::make_tuple(rows, cols);
             out["grid"] = py::make_tuple(timePt, freqPt);
             out["time_step"] = step;
             out["sfreq"] = sfreq > 0.0 ? py::object(py::float_(sfreq)) : py::none();
             out["first_sample"] = first;
             out["freq_scale"] = log ? "geometric" : "linear";
             out["freq_first_hz"] = firstHz;
             out["freq_last_hz"] = lastHz;
             out["freq_step_hz"] = stepHz;
             out["freq_ratio"] = ratio;
             out["selection"] = py::make_tuple(sel[0], sel[1], sel[2], sel[3]);
             out["current_pair"] = py::make_tuple(pair[0], pair[1]);
             out["pairs"] = census.pairs;
             py::dict planes, raw;
             for (int k = 0; k < 3; ++k) {
               planes[host::dataTypeKey(k)] = census.working[k];
               raw[host::dataTypeKey(k)] = census.raw[k];
             }
             out["planes"] = planes;
             out["raw_planes"] = raw;
             out["extent_mismatch"] = census.extentMismatch;
             return out;
           })
      .def("set_sampling_rate",
           [](const DatasetRef& r, double sfreq) {
             r.call([&](host::Dataset& d) {
               if (sfreq == 0.0) {
                 host::clearSamplingRate(d);
                 return;
               }
               if (!(sfreq > 1.0 && std::isfinite(sfreq))) {
                 refuse("the sampling rate must be above 1 Hz, not " + std::to_string(sfreq));
               }
               host::setSamplingRate(d, sfreq, host::samplePosition(d, 0) / sfreq);
             });
           })
      .def_property(
          "channel_names",
          [](const DatasetRef& r) -> py::object {
            std::vector<std::string> rows, cols;
            r.call([&](host::Dataset&) {
              for (const auto& c : r.holder()->metadata.byClass[r.spctmClass()].rows) rows.push_back(c.name);
              for (const auto& c : r.holder()->metadata.byClass[r.spctmClass()].cols) cols.push_back(c.name);
            });
            if (rows.empty() && cols.empty()) return py::none();
            return py::make_tuple(rows, cols);
          },
          [](const DatasetRef& r, std::pair<std::vector<std::string>, std::vector<std::string>> names) {
            r.call([&](host::Dataset& d) {
              if ((!names.first.empty() && static_cast<int64_t>(names.first.size()) != d.rowSnsCount) ||
                  (!names.second.empty() && static_cast<int64_t>(names.second.size()) != d.colSnsCount)) {
                refuse(std::to_string(names.first.size()) + " row and " + std::to_string(names.second.size()) +
                       " column names for " + std::to_string(d.rowSnsCount) + " x " + std::to_string(d.colSnsCount) +
                       " sensors");
              }
              host::DatasetMetadata& m = r.holder()->metadata.byClass[r.spctmClass()];
              m.rows.clear();
              m.cols.clear();
              for (const std::string& n : names.first) m.rows.push_back({n, "", ""});
              for (const std::string& n : names.second) m.cols.push_back({n, "", ""});
            });
          })
      .def_property(
          "value_unit",
          [](const DatasetRef& r) {
            std::string unit;
            r.call([&](host::Dataset&) { unit = r.holder()->metadata.byClass[r.spctmClass()].valueUnit; });
            return unit;
          },
          [](const DatasetRef& r, const std::string& unit) {
            r.call([&](host::Dataset&) { r.holder()->metadata.byClass[r.spctmClass()].valueUnit = unit; });
          })
      .def("set_name",
           [](const DatasetRef& r, const std::string& name) { r.call([&](host::Dataset& d) { d.trialName = CString(name); }); })
      .def("set_selection",
           [](const DatasetRef& r, int64_t t0, int64_t t1, int64_t f0, int64_t f1) {
             r.call([&](host::Dataset& d) {
               d.setTrialSpctmSelectTime(t0, t1);
               d.setTrialSpctmSelectFreq(f0, f1);
             });
           })
      .def("set_current_pair",
           [](const DatasetRef& r, int64_t row, int64_t col) {
             r.call([&](host::Dataset& d) {
               d.setActSns(row);
               d.setCxcSns(col);
               d.checkDataIntegraty();
             });
           })
      .def("axes",
           [](const DatasetRef& r) {
             std::vector<double> freqs, times, seconds;
             r.call([&](host::Dataset& d) {
               freqs = host::frequenciesHz(d);
               times = host::timeSamples(d);
               seconds = host::timesInSeconds(d);
             });
             return py::make_tuple(vectorArray(freqs), vectorArray(times), vectorArray(seconds));
           })
      .def("summary",
           [](const DatasetRef& r, int dataType) -> py::object {
             std::vector<double> cells;
             int64_t T = 0, F = 0;
             bool found = false;
             double figures[7] = {0, 0, 0, 0, 0, 0, 0};
             int64_t pairs = 0;
             r.call([&](host::Dataset& d) {
               found = host::gatherSummary(d, dataType, cells, T, F);
               const CSumCCSpctmDatazq& s = d.summaryByDataType[dataType < 0 || dataType > 2 ? 0 : dataType];
               pairs = s.pairCount;
               const double v[7] = {s.minValue, s.meanValue, s.maxValue, s.posMeanValue, s.negMeanValue, s.rmsValue, 0};
               std::memcpy(figures, v, sizeof v);
             });
             if (!found) return py::none();
             py::array_t<double> a({static_cast<py::ssize_t>(6), static_cast<py::ssize_t>(T), static_cast<py::ssize_t>(F)});
             std::memcpy(a.mutable_data(), cells.data(), cells.size() * sizeof(double));
             py::dict fig(py::arg("pairs") = pairs, py::arg("min") = figures[0], py::arg("mean") = figures[1],
                          py::arg("max") = figures[2], py::arg("pos_mean") = figures[3],
                          py::arg("neg_mean") = figures[4], py::arg("rms") = figures[5]);
             return py::make_tuple(a, fig);
           })
      .def("statistics",
           [](const DatasetRef& r, bool timeReport, int dataType) {
             StatisticsLines lines;
             r.call([&](host::Dataset& d) { lines = host::statisticsTable(d, timeReport, dataType, r.name()); });
             return py::make_tuple(vectorArray(lines.label), vectorArray(lines.min), vectorArray(lines.mean),
                                   vectorArray(lines.max), vectorArray(lines.absMean), vectorArray(lines.rms));
           })
      .def("report",
           [](const DatasetRef& r, bool timeReport, int dataType) {
             std::string text;
             r.call([&](host::Dataset& d) {
               // The same refusals as the figures: a report of made-up zeros
               // is worse than none.
               if (dataType >= 0) host::statisticsTable(d, timeReport, dataType, r.name());
               text = host::statisticsReport(d, timeReport, dataType).toUtf8();
               if (text.empty()) refuse("the " + r.name() + " dataset has no data to report");
             });
             return text;
           })
      .def("peak", [](const DatasetRef& r, int dataType, bool skipDiagonal) -> py::object {
        host::PlanePeak p;
        r.call([&](host::Dataset& d) { p = host::findPlanePeak(d, dataType, skipDiagonal); });
        if (!p.found) return py::none();
        return py::make_tuple(p.row, p.column, p.timeIndex, p.freqIndex, p.value);
      });
}

}  // namespace

}  // namespace megcxc::python

PYBIND11_MODULE(_megcxc, m) {
  using namespace megcxc::python;
  m.doc() = "The compiled core of the megcxc package; use the megcxc module.";
  PythonTypes& t = pythonTypes();
  t.error = py::reinterpret_steal<py::object>(
      PyErr_NewExceptionWithDoc("megcxc.Error", "An operation the library refused; the text says why.", PyExc_RuntimeError, nullptr));
  t.archiveError = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
      "megcxc.ArchiveError", "A file that ends early or is damaged; `offset` is the byte where reading failed.",
      PyExc_OSError, nullptr));
  t.libraryMessage = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
      "megcxc.LibraryMessage", "A message the library showed while an operation went on.", PyExc_UserWarning, nullptr));
  m.attr("Error") = t.error;
  m.attr("ArchiveError") = t.archiveError;
  m.attr("LibraryMessage") = t.libraryMessage;
  m.attr("COLLECTION_MAGIC") = megcxc::facefile::kMagic;
  m.attr("COLLECTION_VERSION") = megcxc::facefile::kVersion;
  bindNames(m);
  bindSteps(m);
  bindCollection(m);
  bindDataset(m);
}
