// How the module calls the library: one call at a time, without the GIL, with
// the library's messages collected and turned into Python exceptions and
// warnings afterwards.
//
// The message-box handler and the worker-thread setting are process-wide, so
// library calls from several Python threads take turns (a mutex). A thread
// always lets go of the GIL before it waits for the mutex: the thread inside
// the library may need the GIL back for a progress callback.
#pragma once

#include <pybind11/pybind11.h>

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/collection_file.h"
#include "host/metadata.h"

namespace megcxc::python {

namespace py = pybind11;

// The exception and warning types of the package (created at import).
struct PythonTypes {
  py::object error;          // megcxc.Error(RuntimeError)
  py::object archiveError;   // megcxc.ArchiveError(OSError)
  py::object libraryMessage; // megcxc.LibraryMessage(UserWarning)
};
PythonTypes& pythonTypes();

// A collection as Python holds it: shared by the Python Collection and every
// Dataset taken from it, so a Dataset keeps its collection alive. Each class
// slot has a generation, raised whenever a call may have put another dataset
// there (or emptied it); a Dataset remembers the generation it was taken at.
// The channel names and units of the datasets live beside the collection
// (host/metadata.h); a slot that gets another dataset forgets them.
struct Holder {
  Holder() = default;
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  // Freeing a large collection takes a while (a 306-sensor one, 0.07 s):
  // other Python threads run meanwhile.
  ~Holder() {
    const bool gil = PyGILState_Check() != 0 && !_Py_IsFinalizing();
    if (gil) {
      py::gil_scoped_release release;
      for (int k = 0; k < host::kClassCount; ++k) collection.deleteSpctmTrlData(k);
    }
  }

  host::Collection collection;
  host::Metadata metadata;
  std::array<uint64_t, 3> generation{{1, 1, 1}};
  void bump(int spctmClass) {
    ++generation[static_cast<std::size_t>(spctmClass)];
    metadata.byClass[spctmClass] = host::DatasetMetadata();
  }
};
using HolderPtr = std::shared_ptr<Holder>;

// Reports (done, total) to a Python callable; empty without one. A callback
// that raises is not called again and its exception is raised once the
// library call has ended. A stopping Progress also throws ProgressStopped
// into the library at once (and at every later report), for the passes that
// can be abandoned safely (loads and saves); the others run to the end.
class Progress {
 public:
  explicit Progress(py::object callback, bool stops = false) : callback_(std::move(callback)), stops_(stops) {}
  // Called without the GIL, from inside a library call.
  void operator()(int64_t done, int64_t total);
  bool active() const { return !callback_.is_none(); }
  // Raises the callback's exception, if it raised one (GIL held).
  void rethrow();

 private:
  py::object callback_;
  bool stops_;
  std::unique_ptr<py::error_already_set> failed_;
};

// What a stopping Progress throws into the library after its callback
// raised.
struct ProgressStopped : std::exception {
  const char* what() const noexcept override { return "stopped by the progress callback"; }
};

// What a call showed through AfxMessageBox.
struct Messages {
  std::vector<std::string> texts;
};

// Runs `fn` under the library mutex without the GIL, collecting the
// library's messages (a Yes/No question that reaches the handler is answered
// No; the steps answer their questions themselves). Afterwards, with the GIL:
// megcxc::Refused becomes megcxc.Error, host::DamagedArchive and
// CArchiveException megcxc.ArchiveError (with `offset`), std::bad_alloc
// MemoryError; the collected texts follow the error's own line, or are issued
// as LibraryMessage warnings when the call succeeded.
void callLibrary(const std::function<void()>& fn, Progress* progress = nullptr);

// Runs `fn` under the library mutex without the GIL, for reads of the
// collection's slots that must not overlap a call in another thread; `fn`
// must not throw.
void underLibraryLock(const std::function<void()>& fn);

// Issues each text as a LibraryMessage warning (GIL held).
void warnAll(const std::vector<std::string>& texts);

// Raises megcxc.Error(text).
[[noreturn]] void raiseError(const std::string& text);

}  // namespace megcxc::python
