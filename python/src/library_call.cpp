#include "library_call.h"

#include <new>

#include "platform/cexception.h"
#include "platform/message_box.h"
#include "platform/refused.h"

namespace megcxc::python {

namespace {

std::mutex& libraryMutex() {
  static std::mutex m;
  return m;
}

// True on the thread that holds the library mutex, while it does. A progress
// callback runs on that thread in the middle of the call it reports on: a
// call into the module from there would wait for the mutex forever (and the
// collection is half-way through a load, a save or a step anyway).
thread_local bool t_holdsLibrary = false;

// Raises megcxc.Error on the thread that holds the library mutex already
// (GIL held).
void refuseReentry() {
  if (t_holdsLibrary) {
    raiseError("megcxc cannot be called from a progress callback: the call it reports on is still running");
  }
}

// Holds the library mutex (taken without the GIL) and marks the thread.
class LibraryLock {
 public:
  LibraryLock() : lock_(libraryMutex()) { t_holdsLibrary = true; }
  ~LibraryLock() { t_holdsLibrary = false; }
  LibraryLock(const LibraryLock&) = delete;
  LibraryLock& operator=(const LibraryLock&) = delete;

 private:
  std::lock_guard<std::mutex> lock_;
};

std::string oneLine(const CString& text) {
  std::string s = text.toUtf8();
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

// Collects every message while alive.
class MessageCollector {
 public:
  explicit MessageCollector(Messages& into) : into_(into) {
    previous_ = setMessageBoxHandler([this](const CString& text, unsigned type) {
      const bool question = (type & 0x000F) == MB_YESNO;
      into_.texts.push_back(oneLine(text) + (question ? " -> No" : ""));
      return question ? IDNO : IDOK;
    });
  }
  ~MessageCollector() { setMessageBoxHandler(std::move(previous_)); }
  MessageCollector(const MessageCollector&) = delete;
  MessageCollector& operator=(const MessageCollector&) = delete;

 private:
  Messages& into_;
  MessageBoxHandler previous_;
};

std::string withMessages(const std::string& text, const Messages& m) {
  std::string s = text;
  for (const std::string& t : m.texts) s += "\n  the library said: " + t;
  return s;
}

[[noreturn]] void raiseArchiveError(const std::string& text, int64_t offset) {
  py::object e = pythonTypes().archiveError(text);
  e.attr("offset") = offset >= 0 ? py::object(py::int_(offset)) : py::none();
  PyErr_SetObject(pythonTypes().archiveError.ptr(), e.ptr());
  throw py::error_already_set();
}

}  // namespace

PythonTypes& pythonTypes() {
  // Leaked on purpose: Python objects must not be released after the
  // interpreter has gone.
  static auto* types = new PythonTypes();
  return *types;
}

void Progress::operator()(int64_t done, int64_t total) {
  if (callback_.is_none()) return;
  if (!failed_) {
    py::gil_scoped_acquire gil;
    try {
      callback_(done, total);
    } catch (py::error_already_set& e) {
      failed_ = std::make_unique<py::error_already_set>(std::move(e));
    }
  }
  if (failed_ && stops_) throw ProgressStopped();
}

void Progress::rethrow() {
  if (failed_) {
    std::unique_ptr<py::error_already_set> e = std::move(failed_);
    e->restore();
    throw py::error_already_set();
  }
}

void underLibraryLock(const std::function<void()>& fn) {
  refuseReentry();
  py::gil_scoped_release release;
  LibraryLock lock;
  fn();
}

void raiseError(const std::string& text) {
  PyErr_SetString(pythonTypes().error.ptr(), text.c_str());
  throw py::error_already_set();
}

void callLibrary(const std::function<void()>& fn, Progress* progress) {
  Messages messages;
  std::exception_ptr failure;
  {
    refuseReentry();
    py::gil_scoped_release release;
    LibraryLock lock;
    MessageCollector collect(messages);
    try {
      fn();
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (progress) progress->rethrow();
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const host::DamagedArchive& e) {
      raiseArchiveError(withMessages(e.what(), messages), e.offset);
    } catch (const CArchiveException& e) {
      raiseArchiveError(withMessages(e.what(), messages), e.m_offset);
    } catch (const Refused& e) {
      raiseError(withMessages(e.what(), messages));
    } catch (const std::bad_alloc&) {
      PyErr_SetString(PyExc_MemoryError, withMessages("not enough memory", messages).c_str());
      throw py::error_already_set();
    } catch (const py::error_already_set&) {
      throw;
    } catch (const std::exception& e) {
      raiseError(withMessages(e.what(), messages));
    }
  }
  warnAll(messages.texts);
}

void warnAll(const std::vector<std::string>& texts) {
  for (const std::string& t : texts) {
    if (PyErr_WarnEx(pythonTypes().libraryMessage.ptr(), t.c_str(), 2) != 0) throw py::error_already_set();
  }
}

}  // namespace megcxc::python
