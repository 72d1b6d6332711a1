#include "interop/mne_connectivity.h"

#include <fcntl.h>
#include <hdf5.h>
#include <hdf5_hl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <set>

#include "platform/atomic_file.h"
#include "platform/refused.h"

namespace megcxc::interop {

namespace {

constexpr const char* kVariable = "__xarray_dataarray_variable__";
constexpr const char* kConnectionsDim = "node_in -> node_out";
constexpr const char* kFreqsDim = "freqs";
constexpr const char* kTimesDim = "times";
constexpr const char* kStructure = "SpectroTemporalConnectivity";
constexpr const char* kNone = "n/a";  // how mne-connectivity stores None
// Compressed (chunked) data may declare more bytes than the file holds, by
// at most deflate's ratio of about 1032:1; anything beyond is refused
// before memory is asked for.
constexpr int64_t kMaxInflation = 1100;
// Objects and attributes a reader looks at: real files hold a handful.
constexpr std::size_t kMaxNames = 4096;
constexpr int kMaxRank = 8;

// The attributes the netCDF-4 layout keeps for itself.
bool isLayoutAttribute(const std::string& name) {
  return name == "DIMENSION_LIST" || name == "REFERENCE_LIST" || name == "CLASS" || name == "NAME" ||
         name == "_FillValue" || name == "_NCProperties" || name.rfind("_Netcdf4", 0) == 0;
}

// The attributes MneConnectivity holds in fields of their own.
bool isNamedAttribute(const std::string& name) {
  static const std::set<std::string> named = {"data_structure", "node_names", "n_nodes", "method",
                                              "indices",        "n_epochs_used", "sfreq"};
  return named.count(name) != 0;
}

// HDF5 keeps global state (its error stack and the automatic error printer)
// and Debian's build serialises its calls anyway; one session at a time,
// with the printer off so that failures reach the user only as Refused.
std::mutex g_hdf5;

class Hdf5Session {
 public:
  Hdf5Session() : lock_(g_hdf5) {
    H5Eget_auto2(H5E_DEFAULT, &func_, &data_);
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  }
  ~Hdf5Session() {
    H5Eclear2(H5E_DEFAULT);
    H5Eset_auto2(H5E_DEFAULT, func_, data_);
  }
  Hdf5Session(const Hdf5Session&) = delete;
  Hdf5Session& operator=(const Hdf5Session&) = delete;

 private:
  std::lock_guard<std::mutex> lock_;
  H5E_auto2_t func_ = nullptr;
  void* data_ = nullptr;
};

// An HDF5 identifier closed with its own close function.
class Id {
 public:
  Id() = default;
  Id(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
  ~Id() { reset(); }
  Id(Id&& o) noexcept : id_(o.id_), close_(o.close_) { o.id_ = H5I_INVALID_HID; }
  Id& operator=(Id&& o) noexcept {
    if (this != &o) {
      reset();
      id_ = o.id_;
      close_ = o.close_;
      o.id_ = H5I_INVALID_HID;
    }
    return *this;
  }
  Id(const Id&) = delete;
  Id& operator=(const Id&) = delete;

  hid_t get() const { return id_; }
  bool valid() const { return id_ >= 0; }
  // Closes now and reports whether closing succeeded.
  bool close() {
    const bool ok = id_ < 0 || close_(id_) >= 0;
    id_ = H5I_INVALID_HID;
    return ok;
  }

 private:
  void reset() {
    if (id_ >= 0) close_(id_);
    id_ = H5I_INVALID_HID;
  }
  hid_t id_ = H5I_INVALID_HID;
  herr_t (*close_)(hid_t) = nullptr;
};

herr_t keepInnermost(unsigned, const H5E_error2_t* err, void* data) {
  if (err->desc != nullptr && err->desc[0] != '\0') *static_cast<std::string*>(data) = err->desc;
  return 0;
}

// The message of the innermost failure on HDF5's error stack ("truncated
// file: eof = ..."), or "".
std::string hdf5Reason() {
  std::string reason;
  H5Ewalk2(H5E_DEFAULT, H5E_WALK_DOWNWARD, keepInnermost, &reason);
  H5Eclear2(H5E_DEFAULT);
  return reason;
}

// a * b, or -1 when it would exceed `limit`.
int64_t checkedProduct(int64_t a, int64_t b, int64_t limit = std::numeric_limits<int64_t>::max()) {
  if (a < 0 || b < 0) return -1;
  if (a != 0 && b > limit / a) return -1;
  return a * b;
}

std::string joined(const std::vector<std::string>& parts, const char* quote = "") {
  std::string s;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) s += ", ";
    s += quote + parts[i] + quote;
  }
  return s;
}

std::string shapeText(const std::vector<int64_t>& shape) {
  std::vector<std::string> parts;
  for (const int64_t n : shape) parts.push_back(std::to_string(n));
  return "(" + joined(parts) + ")";
}

std::string numberText(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// ---------------------------------------------------------------------------
// Reading

uint64_t littleEndian(const unsigned char* p, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// What is wrong with the global heap collection at `offset` (where HDF5
// keeps variable-length strings), or "". HDF5 1.10 loops forever on a
// collection whose free-space object has size 0 and reads past one whose
// objects overrun it, so these are refused before HDF5 sees them. Bytes that
// only look like a collection (a version other than 1, a size the file
// cannot hold) are left to HDF5, which refuses them if it ever reads them.
std::string heapCollectionProblem(int fd, int64_t offset, int64_t fileSize) {
  constexpr int64_t kHeader = 16;      // "GCOL", version, 3 reserved, size
  constexpr int64_t kMinSize = 4096;   // HDF5 never makes smaller ones
  constexpr int64_t kObjectHeader = 16;
  unsigned char head[kHeader];
  if (::pread(fd, head, kHeader, offset) != kHeader || head[4] != 1) return {};
  const uint64_t size = littleEndian(head + 8, 8);
  if (size < static_cast<uint64_t>(kMinSize) || size > static_cast<uint64_t>(fileSize - offset)) return {};
  std::vector<unsigned char> heap(static_cast<std::size_t>(size));
  if (::pread(fd, heap.data(), heap.size(), offset) != static_cast<ssize_t>(heap.size())) return {};
  const std::string where = "the global heap at byte " + std::to_string(offset);
  uint64_t p = kHeader;
  while (p + kObjectHeader <= size) {
    const uint64_t index = littleEndian(&heap[p], 2);
    const uint64_t objectSize = littleEndian(&heap[p + 8], 8);
    uint64_t need = objectSize;
    if (index == 0 && objectSize == 0) return where + " has a free-space object of size 0";
    if (index != 0) {
      if (objectSize > size) return where + " has an object larger than the heap";
      need = kObjectHeader + (objectSize + 7) / 8 * 8;
    }
    if (need > size - p) return where + " has an object running past its end";
    p += need;
  }
  return {};
}

// Scans the file for global heap collections ("GCOL") and checks each.
std::string globalHeapProblem(const std::string& path, int64_t fileSize) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string("cannot open: ") + std::strerror(errno);
  std::vector<unsigned char> block(1 << 20);
  std::string problem;
  int64_t at = 0;
  while (problem.empty() && at < fileSize) {
    const ssize_t got = ::pread(fd, block.data(), block.size(), at);
    if (got <= 0) break;
    const int64_t n = got;
    for (int64_t i = 0; i + 4 <= n && problem.empty(); ++i) {
      if (block[i] == 'G' && std::memcmp(&block[i], "GCOL", 4) == 0) problem = heapCollectionProblem(fd, at + i, fileSize);
    }
    // Step back three bytes so a signature across blocks is seen.
    at += n > 3 ? n - 3 : n;
  }
  ::close(fd);
  return problem;
}

herr_t collectLinkName(hid_t, const char* name, const H5L_info_t* info, void* data) {
  auto* names = static_cast<std::vector<std::string>*>(data);
  if (info->type != H5L_TYPE_HARD) return 0;
  names->emplace_back(name);
  return names->size() > kMaxNames ? 1 : 0;
}

herr_t collectAttributeName(hid_t, const char* name, const H5A_info_t*, void* data) {
  auto* names = static_cast<std::vector<std::string>*>(data);
  names->emplace_back(name);
  return names->size() > kMaxNames ? 1 : 0;
}

herr_t scaleName(hid_t, unsigned, hid_t scale, void* data) {
  char buf[1024];
  const ssize_t n = H5Iget_name(scale, buf, sizeof buf);
  if (n <= 0) return -1;
  std::string name(buf, static_cast<std::size_t>(std::min<ssize_t>(n, sizeof buf - 1)));
  if (!name.empty() && name[0] == '/') name.erase(0, 1);
  *static_cast<std::string*>(data) = name;
  return 1;
}

class Reader {
 public:
  explicit Reader(const std::string& path) : path_(path) {}

  MneConnectivity read() {
    openFile();
    const std::string variable = findVariable();
    Id var(H5Dopen2(file_.get(), variable.c_str(), H5P_DEFAULT), H5Dclose);
    if (!var.valid()) failHdf5("cannot open the data variable '" + variable + "'");

    MneConnectivity c;
    readAttributes(var.get(), c);
    interpretStructure(c);
    readShapeAndDims(var.get(), c);
    interpretAttributes(c);
    checkLayout(c);
    c.freqs = readCoordinate(c.dims[c.dims.size() - 2], c.shape[c.shape.size() - 2]);
    c.times = readCoordinate(c.dims.back(), c.shape.back());
    readData(var.get(), c);
    return c;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const { refuse(path_ + ": " + what); }
  [[noreturn]] void failHdf5(const std::string& what) const {
    const std::string reason = hdf5Reason();
    fail(what + (reason.empty() ? "" : " (HDF5: " + reason + ")"));
  }

  void openFile() {
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) fail(std::string("cannot open: ") + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) fail("is a directory, not an mne-connectivity file");
    if (!S_ISREG(st.st_mode)) fail("is not a regular file");
    fileSize_ = static_cast<int64_t>(st.st_size);
    if (fileSize_ == 0) fail("is empty");
    const htri_t isHdf5 = H5Fis_hdf5(path_.c_str());
    if (isHdf5 == 0) fail("not an HDF5 (netCDF-4) file");
    if (isHdf5 < 0) failHdf5("cannot be read as HDF5");
    if (const std::string problem = globalHeapProblem(path_, fileSize_); !problem.empty()) {
      fail("damaged: " + problem);
    }
    Id fapl(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
#if H5_VERSION_GE(1, 10, 7)
    H5Pset_file_locking(fapl.get(), false, true);
#endif
    H5Pset_fclose_degree(fapl.get(), H5F_CLOSE_STRONG);
    file_ = Id(H5Fopen(path_.c_str(), H5F_ACC_RDONLY, fapl.get()), H5Fclose);
    if (!file_.valid()) failHdf5("damaged or truncated HDF5 file");
  }

  // The one dataset of the root group that is not a dimension scale.
  std::string findVariable() {
    std::vector<std::string> names;
    if (H5Literate(file_.get(), H5_INDEX_NAME, H5_ITER_NATIVE, nullptr, collectLinkName, &names) < 0) {
      failHdf5("cannot list the root group");
    }
    if (names.size() > kMaxNames) fail("holds more than " + std::to_string(kMaxNames) + " objects");
    std::vector<std::string> variables;
    for (const std::string& name : names) {
      Id obj(H5Oopen(file_.get(), name.c_str(), H5P_DEFAULT), H5Oclose);
      if (!obj.valid()) failHdf5("cannot open '" + name + "'");
      if (H5Iget_type(obj.get()) != H5I_DATASET) continue;
      const htri_t scale = H5DSis_scale(obj.get());
      if (scale < 0) failHdf5("cannot read the attributes of '" + name + "'");
      if (scale == 0) variables.push_back(name);
    }
    if (variables.empty()) fail("holds no data variable (not a file of mne-connectivity)");
    if (variables.size() > 1) {
      fail("holds " + std::to_string(variables.size()) + " data variables (" + joined(variables, "'") +
           "); a connectivity file holds one");
    }
    return variables.front();
  }

  // Throws unless the storage of `ds` can hold `bytes` inside the file.
  void checkStorage(hid_t ds, int64_t bytes, const std::string& what) {
    Id dcpl(H5Dget_create_plist(ds), H5Pclose);
    if (!dcpl.valid()) failHdf5("cannot read the storage of " + what);
    const H5D_layout_t layout = H5Pget_layout(dcpl.get());
    if (layout == H5D_CONTIGUOUS) {
      const haddr_t offset = H5Dget_offset(ds);
      if (bytes == 0) return;
      if (offset == HADDR_UNDEF) fail(what + " has no stored values");
      if (offset > static_cast<haddr_t>(fileSize_) || static_cast<int64_t>(offset) > fileSize_ - bytes) {
        fail("truncated: " + what + " needs " + std::to_string(bytes) + " bytes from offset " +
             std::to_string(offset) + ", the file has " + std::to_string(fileSize_));
      }
    } else if (layout == H5D_CHUNKED || layout == H5D_COMPACT) {
      if (bytes / kMaxInflation > fileSize_) {
        fail(what + " declares " + std::to_string(bytes) + " bytes, more than a file of " +
             std::to_string(fileSize_) + " bytes can hold");
      }
    } else {
      fail(what + " uses a storage layout this reader does not support");
    }
  }

  // Shape of a dataspace; a scalar has none. Throws for a null dataspace.
  std::vector<int64_t> extents(hid_t space, const std::string& what) {
    const H5S_class_t kind = H5Sget_simple_extent_type(space);
    if (kind == H5S_SCALAR) return {};
    if (kind != H5S_SIMPLE) fail(what + " has no values (empty dataspace)");
    const int rank = H5Sget_simple_extent_ndims(space);
    if (rank < 0 || rank > kMaxRank) fail(what + " has " + std::to_string(rank) + " dimensions");
    hsize_t dims[kMaxRank] = {};
    H5Sget_simple_extent_dims(space, dims, nullptr);
    std::vector<int64_t> shape;
    for (int i = 0; i < rank; ++i) {
      if (dims[i] > static_cast<hsize_t>(fileSize_) * kMaxInflation) fail(what + " declares an impossible size");
      shape.push_back(static_cast<int64_t>(dims[i]));
    }
    return shape;
  }

  // Element count of `shape`, with each element taking `elementBytes` in
  // memory; throws when that exceeds what the file can hold.
  int64_t boundedCount(const std::vector<int64_t>& shape, int64_t elementBytes, const std::string& what) {
    const int64_t limit = fileSize_ * kMaxInflation;
    int64_t n = 1;
    for (const int64_t d : shape) {
      n = checkedProduct(n, d, limit);
      if (n < 0) fail(what + " declares more values than the file can hold");
    }
    if (checkedProduct(n, elementBytes, limit) < 0) fail(what + " declares more values than the file can hold");
    return n;
  }

  void readAttributes(hid_t var, MneConnectivity& c) {
    std::vector<std::string> names;
    hsize_t at = 0;
    if (H5Aiterate2(var, H5_INDEX_CRT_ORDER, H5_ITER_INC, &at, collectAttributeName, &names) < 0) {
      // Attribute creation order is not tracked: alphabetical then.
      names.clear();
      at = 0;
      H5Eclear2(H5E_DEFAULT);
      if (H5Aiterate2(var, H5_INDEX_NAME, H5_ITER_INC, &at, collectAttributeName, &names) < 0) {
        failHdf5("cannot list the attributes of the data variable");
      }
    }
    if (names.size() > kMaxNames) fail("the data variable has more than " + std::to_string(kMaxNames) + " attributes");
    for (const std::string& name : names) {
      if (isLayoutAttribute(name)) continue;
      attributes_.push_back(readAttribute(var, name));
    }
    for (const MneAttribute& a : attributes_) {
      if (!isNamedAttribute(a.name)) c.extra.push_back(a);
    }
  }

  MneAttribute readAttribute(hid_t obj, const std::string& name) {
    const std::string what = "attribute '" + name + "'";
    Id attr(H5Aopen(obj, name.c_str(), H5P_DEFAULT), H5Aclose);
    if (!attr.valid()) failHdf5("cannot open " + what);
    Id type(H5Aget_type(attr.get()), H5Tclose);
    Id space(H5Aget_space(attr.get()), H5Sclose);
    if (!type.valid() || !space.valid()) failHdf5("cannot read " + what);
    if (H5Aget_storage_size(attr.get()) > static_cast<hsize_t>(fileSize_)) fail(what + " is larger than the file");
    MneAttribute a;
    a.name = name;
    a.shape = extents(space.get(), what);
    const std::size_t fileElement = H5Tget_size(type.get());
    const int64_t n = boundedCount(a.shape, std::max<int64_t>(8, static_cast<int64_t>(fileElement)), what);
    switch (H5Tget_class(type.get())) {
      case H5T_STRING:
        a.type = MneAttribute::Type::text;
        a.texts = readTexts(attr.get(), type.get(), space.get(), n, what);
        break;
      case H5T_INTEGER:
        a.type = MneAttribute::Type::integer;
        a.integers.resize(static_cast<std::size_t>(n));
        if (n && H5Aread(attr.get(), H5T_NATIVE_INT64, a.integers.data()) < 0) failHdf5("cannot read " + what);
        break;
      case H5T_FLOAT:
        a.type = MneAttribute::Type::real;
        a.reals.resize(static_cast<std::size_t>(n));
        if (n && H5Aread(attr.get(), H5T_NATIVE_DOUBLE, a.reals.data()) < 0) failHdf5("cannot read " + what);
        break;
      default:
        fail(what + " is neither text nor a number");
    }
    return a;
  }

  std::vector<std::string> readTexts(hid_t attr, hid_t type, hid_t space, int64_t n, const std::string& what) {
    std::vector<std::string> texts;
    if (n == 0) return texts;
    const htri_t variable = H5Tis_variable_str(type);
    if (variable < 0) failHdf5("cannot read " + what);
    Id mem(H5Tcopy(H5T_C_S1), H5Tclose);
    H5Tset_cset(mem.get(), H5Tget_cset(type));
    if (variable > 0) {
      H5Tset_size(mem.get(), H5T_VARIABLE);
      std::vector<char*> ptrs(static_cast<std::size_t>(n), nullptr);
      if (H5Aread(attr, mem.get(), ptrs.data()) < 0) failHdf5("cannot read " + what);
      for (const char* p : ptrs) texts.emplace_back(p ? p : "");
#if H5_VERSION_GE(1, 12, 0)
      H5Treclaim(mem.get(), space, H5P_DEFAULT, ptrs.data());
#else
      H5Dvlen_reclaim(mem.get(), space, H5P_DEFAULT, ptrs.data());
#endif
      return texts;
    }
    const std::size_t size = H5Tget_size(type);
    if (size == 0) fail(what + " has text of no size");
    H5Tset_size(mem.get(), size);
    H5Tset_strpad(mem.get(), H5T_STR_NULLPAD);
    std::vector<char> buf(static_cast<std::size_t>(n) * size, '\0');
    if (H5Aread(attr, mem.get(), buf.data()) < 0) failHdf5("cannot read " + what);
    for (int64_t i = 0; i < n; ++i) {
      const char* p = buf.data() + static_cast<std::size_t>(i) * size;
      std::size_t len = 0;
      while (len < size && p[len] != '\0') ++len;
      std::string s(p, len);
      if (H5Tget_strpad(type) == H5T_STR_SPACEPAD) {
        while (!s.empty() && s.back() == ' ') s.pop_back();
      }
      texts.push_back(std::move(s));
    }
    return texts;
  }

  const MneAttribute* attribute(const std::string& name) const {
    for (const MneAttribute& a : attributes_) {
      if (a.name == name) return &a;
    }
    return nullptr;
  }

  const MneAttribute& required(const std::string& name) const {
    const MneAttribute* a = attribute(name);
    if (!a) fail("the data variable has no '" + name + "' attribute");
    return *a;
  }

  static bool isNone(const MneAttribute& a) {
    return a.type == MneAttribute::Type::text && a.texts.size() == 1 && a.texts[0] == kNone;
  }

  std::string singleText(const MneAttribute& a) const {
    if (a.type != MneAttribute::Type::text || a.texts.size() != 1 || a.shape.size() > 1) {
      fail("attribute '" + a.name + "' is not one text");
    }
    return a.texts[0];
  }

  std::vector<std::string> textList(const MneAttribute& a) const {
    if (a.type != MneAttribute::Type::text || a.shape.size() > 1) fail("attribute '" + a.name + "' is not a list of texts");
    return a.texts;
  }

  int64_t singleInteger(const MneAttribute& a) const {
    if (a.count() == 1 && a.shape.size() <= 1) {
      if (a.type == MneAttribute::Type::integer) return a.integers[0];
      // A whole number written as a float by a hand-made file.
      if (a.type == MneAttribute::Type::real && std::isfinite(a.reals[0]) && a.reals[0] == std::floor(a.reals[0]) &&
          std::fabs(a.reals[0]) < 9.0e15) {
        return static_cast<int64_t>(a.reals[0]);
      }
    }
    fail("attribute '" + a.name + "' is not one whole number");
  }

  void interpretStructure(MneConnectivity& c) {
    const MneAttribute* s = attribute("data_structure");
    if (!s) fail("the data variable has no 'data_structure' attribute (not a file of mne-connectivity)");
    c.dataStructure = singleText(*s);
    if (c.dataStructure == kStructure) return;
    if (c.dataStructure.rfind("Epoch", 0) == 0) {
      fail("holds " + c.dataStructure + ": connectivity per epoch is not supported (average the epochs first)");
    }
    fail("holds " + c.dataStructure + ", not " + kStructure + " (time-frequency connectivity)");
  }

  void readShapeAndDims(hid_t var, MneConnectivity& c) {
    Id space(H5Dget_space(var), H5Sclose);
    if (!space.valid()) failHdf5("cannot read the shape of the data variable");
    c.shape = extents(space.get(), "the data variable");
    if (c.shape.size() != 3 && c.shape.size() != 4) {
      fail("the data variable has shape " + shapeText(c.shape) +
           "; expected (connections, freqs, times) or (nodes, nodes, freqs, times)");
    }
    boundedCount(c.shape, 8, "the data variable");
    for (unsigned i = 0; i < c.shape.size(); ++i) {
      const int scales = H5DSget_num_scales(var, i);
      std::string name;
      if (scales > 0) {
        if (H5DSiterate_scales(var, i, nullptr, scaleName, &name) < 0) name.clear();
        H5Eclear2(H5E_DEFAULT);
      }
      if (name.empty()) fail("dimension " + std::to_string(i) + " of the data variable has no name");
      c.dims.push_back(name);
    }
  }

  void interpretAttributes(MneConnectivity& c) {
    c.nodeNames = textList(required("node_names"));
    c.nNodes = singleInteger(required("n_nodes"));
    if (c.nNodes < 1 || static_cast<std::size_t>(c.nNodes) != c.nodeNames.size()) {
      fail("n_nodes is " + std::to_string(c.nNodes) + " but there are " + std::to_string(c.nodeNames.size()) +
           " node names");
    }
    const MneAttribute& method = required("method");
    if (!isNone(method)) c.method = textList(method);
    if (const MneAttribute* e = attribute("n_epochs_used"); e && !isNone(*e)) c.nEpochsUsed = singleInteger(*e);
    if (const MneAttribute* s = attribute("sfreq"); s && !isNone(*s)) {
      if (s->count() != 1 || s->shape.size() > 1 || s->type == MneAttribute::Type::text) {
        fail("attribute 'sfreq' is not one number");
      }
      c.sfreq = s->type == MneAttribute::Type::real ? s->reals[0] : static_cast<double>(s->integers[0]);
    }
    interpretIndices(required("indices"), c);
  }

  void interpretIndices(const MneAttribute& a, MneConnectivity& c) {
    if (a.type == MneAttribute::Type::text) {
      const std::string s = singleText(a);
      if (s == "all") {
        c.indices = MneIndices::all;
      } else if (s == "symmetric") {
        c.indices = MneIndices::symmetric;
      } else if (s == kNone) {
        c.indices = MneIndices::unset;
      } else {
        fail("indices '" + s + "' are neither 'all', 'symmetric' nor seeds and targets");
      }
      return;
    }
    if (a.type != MneAttribute::Type::integer || a.shape.size() != 2 || a.shape[0] != 2) {
      fail("indices of shape " + shapeText(a.shape) + " are not (2, connections) seeds and targets" +
           (a.shape.size() == 3 ? " (multivariate indices are not supported)" : ""));
    }
    const std::size_t n = static_cast<std::size_t>(a.shape[1]);
    c.indices = MneIndices::pairs;
    c.seeds.assign(a.integers.begin(), a.integers.begin() + static_cast<std::ptrdiff_t>(n));
    c.targets.assign(a.integers.begin() + static_cast<std::ptrdiff_t>(n), a.integers.end());
    for (std::size_t k = 0; k < n; ++k) {
      if (c.seeds[k] < 0 || c.seeds[k] >= c.nNodes || c.targets[k] < 0 || c.targets[k] >= c.nNodes) {
        fail("connection " + std::to_string(k) + " joins nodes " + std::to_string(c.seeds[k]) + " and " +
             std::to_string(c.targets[k]) + ", outside the " + std::to_string(c.nNodes) + " nodes");
      }
    }
  }

  void checkLayout(MneConnectivity& c) {
    const std::size_t rank = c.shape.size();
    if (c.dims[rank - 2] != kFreqsDim || c.dims[rank - 1] != kTimesDim) {
      fail("the data variable has dims (" + joined(c.dims, "'") + "); expected freqs and times last");
    }
    if (rank == 3) {
      c.layout = MneLayout::raveled;
      const int64_t expected = mneConnectionCount(c);
      if (c.shape[0] != expected) {
        fail("the data variable holds " + std::to_string(c.shape[0]) + " connections; the indices of " +
             std::to_string(c.nNodes) + " nodes give " + std::to_string(expected));
      }
      return;
    }
    if (c.dims[0] == "epochs") fail("holds connectivity per epoch, which is not supported");
    if (c.shape[0] != c.nNodes || c.shape[1] != c.nNodes) {
      fail("the data variable of shape " + shapeText(c.shape) + " is not a matrix of the " +
           std::to_string(c.nNodes) + " nodes");
    }
    if (c.indices != MneIndices::all && c.indices != MneIndices::unset) {
      fail("a full node x node matrix cannot go with symmetric or explicit indices");
    }
    c.layout = MneLayout::dense;
  }

  std::vector<double> readCoordinate(const std::string& name, int64_t size) {
    const std::string what = "coordinate '" + name + "'";
    Id ds(H5Dopen2(file_.get(), name.c_str(), H5P_DEFAULT), H5Dclose);
    if (!ds.valid()) failHdf5("cannot open " + what);
    Id type(H5Dget_type(ds.get()), H5Tclose);
    Id space(H5Dget_space(ds.get()), H5Sclose);
    if (!type.valid() || !space.valid()) failHdf5("cannot read " + what);
    const H5T_class_t kind = H5Tget_class(type.get());
    if (kind != H5T_FLOAT && kind != H5T_INTEGER) fail(what + " does not hold numbers");
    const std::vector<int64_t> shape = extents(space.get(), what);
    if (shape.size() != 1 || shape[0] != size) {
      fail(what + " has shape " + shapeText(shape) + "; the data need " + std::to_string(size) + " values");
    }
    const int64_t n = boundedCount(shape, 8, what);
    checkStorage(ds.get(), n * static_cast<int64_t>(H5Tget_size(type.get())), what);
    std::vector<double> values(static_cast<std::size_t>(n));
    if (n && H5Dread(ds.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) < 0) {
      failHdf5("cannot read " + what);
    }
    return values;
  }

  // The memory type to read the data variable with: a double, or the two
  // doubles of a complex compound in the order real, imaginary.
  Id dataMemoryType(hid_t fileType, bool& complex) {
    const H5T_class_t kind = H5Tget_class(fileType);
    if (kind == H5T_FLOAT || kind == H5T_INTEGER) {
      complex = false;
      return Id(H5Tcopy(H5T_NATIVE_DOUBLE), H5Tclose);
    }
    if (kind != H5T_COMPOUND || H5Tget_nmembers(fileType) != 2) fail("the data variable holds neither real nor complex numbers");
    std::string names[2];
    for (unsigned i = 0; i < 2; ++i) {
      if (H5Tget_member_class(fileType, i) != H5T_FLOAT) fail("the data variable holds a compound that is not complex");
      char* name = H5Tget_member_name(fileType, i);
      if (!name) failHdf5("cannot read the type of the data variable");
      names[i] = name;
      H5free_memory(name);
    }
    const bool ri = names[0] == "r" && names[1] == "i";
    const bool ir = names[0] == "i" && names[1] == "r";
    const bool full = names[0] == "real" && names[1] == "imag";
    if (!ri && !ir && !full) {
      fail("the data variable holds a compound of '" + names[0] + "' and '" + names[1] +
           "', not the complex fields 'r' and 'i'");
    }
    complex = true;
    Id mem(H5Tcreate(H5T_COMPOUND, 2 * sizeof(double)), H5Tclose);
    H5Tinsert(mem.get(), (ri || full) ? names[0].c_str() : names[1].c_str(), 0, H5T_NATIVE_DOUBLE);
    H5Tinsert(mem.get(), (ri || full) ? names[1].c_str() : names[0].c_str(), sizeof(double), H5T_NATIVE_DOUBLE);
    return mem;
  }

  void readData(hid_t var, MneConnectivity& c) {
    Id type(H5Dget_type(var), H5Tclose);
    if (!type.valid()) failHdf5("cannot read the type of the data variable");
    Id mem = dataMemoryType(type.get(), c.complex);
    const int per = c.complex ? 2 : 1;
    const int64_t n = boundedCount(c.shape, 8 * per, "the data variable");
    checkStorage(var, n * static_cast<int64_t>(H5Tget_size(type.get())), "the data variable");
    c.data.assign(static_cast<std::size_t>(n * per), 0.0);
    if (n && H5Dread(var, mem.get(), H5S_ALL, H5S_ALL, H5P_DEFAULT, c.data.data()) < 0) {
      failHdf5("cannot read the data variable");
    }
  }

  std::string path_;
  int64_t fileSize_ = 0;
  Id file_;
  std::vector<MneAttribute> attributes_;  // of the data variable, in file order
};

// ---------------------------------------------------------------------------
// Writing

// What the writer stores, checked and derived from MneConnectivity.
struct Plan {
  int64_t connections = 0;
  std::vector<std::string> nodeNames;
};

Plan planWrite(const std::string& path, const MneConnectivity& c) {
  auto fail = [&](const std::string& what) { refuse(path + ": " + what); };
  Plan plan;
  plan.connections = checkMneConnectivity(c, path);
  std::set<std::string> seen;
  for (const MneAttribute& a : c.extra) {
    const std::string what = "attribute '" + a.name + "'";
    if (a.name.empty()) fail("an attribute without a name");
    if (isNamedAttribute(a.name) || isLayoutAttribute(a.name)) fail(what + " is written from its own field");
    if (!seen.insert(a.name).second) fail(what + " is given twice");
    if (a.shape.size() > static_cast<std::size_t>(kMaxRank)) fail(what + " has too many dimensions");
    const std::size_t n = static_cast<std::size_t>(a.count());
    const bool fits = a.count() >= 0 &&
                      (a.type == MneAttribute::Type::text      ? a.texts.size() == n && a.integers.empty() && a.reals.empty()
                       : a.type == MneAttribute::Type::integer ? a.integers.size() == n && a.texts.empty() && a.reals.empty()
                                                               : a.reals.size() == n && a.texts.empty() && a.integers.empty());
    if (!fits) fail(what + ": the values do not match its type and shape " + shapeText(a.shape));
  }
  plan.nodeNames = c.nodeNames;
  for (int64_t i = static_cast<int64_t>(plan.nodeNames.size()); i < c.nNodes; ++i) plan.nodeNames.push_back(std::to_string(i));
  return plan;
}

class Writer {
 public:
  Writer(const std::string& path, const std::string& temp) : path_(path), temp_(temp) {}

  void write(const MneConnectivity& c, const Plan& plan) {
    Id fcpl(H5Pcreate(H5P_FILE_CREATE), H5Pclose);
    H5Pset_link_creation_order(fcpl.get(), H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED);
    H5Pset_attr_creation_order(fcpl.get(), H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED);
    Id fapl(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
#if H5_VERSION_GE(1, 10, 7)
    H5Pset_file_locking(fapl.get(), false, true);
#endif
    Id file(H5Fcreate(temp_.c_str(), H5F_ACC_TRUNC, fcpl.get(), fapl.get()), H5Fclose);
    check(file.valid(), "cannot create the file");

    std::vector<std::string> labels;
    for (int64_t k = 0; k < plan.connections; ++k) labels.push_back(std::to_string(k));
    Id connections = textScale(file.get(), kConnectionsDim, labels, 0);
    Id freqs = numberScale(file.get(), kFreqsDim, c.freqs, 1);
    Id times = numberScale(file.get(), kTimesDim, c.times, 2);

    const hsize_t dims[3] = {static_cast<hsize_t>(plan.connections), c.freqs.size(), c.times.size()};
    Id var = dataVariable(file.get(), c, dims);
    check(H5DSattach_scale(var.get(), connections.get(), 0) >= 0 && H5DSattach_scale(var.get(), freqs.get(), 1) >= 0 &&
              H5DSattach_scale(var.get(), times.get(), 2) >= 0,
          "cannot attach the dimensions");
    const int32_t coordinates[3] = {0, 1, 2};
    putInt32(var.get(), "_Netcdf4Coordinates", coordinates, 3);
    putInt32(var.get(), "_Netcdf4Dimid", coordinates, 0);
    if (!c.complex) putNaN(var.get(), "_FillValue");
    writeAttributes(var.get(), c, plan);

    check(var.close() && connections.close() && freqs.close() && times.close(), "cannot close the datasets");
    check(file.close(), "cannot finish the file");
  }

 private:
  void check(bool ok, const std::string& what) const {
    if (ok) return;
    const std::string reason = hdf5Reason();
    refuse(path_ + ": " + what + (reason.empty() ? "" : " (HDF5: " + reason + ")"));
  }

  // A dataset creation list that tracks the order of its attributes, as
  // h5py does for xarray.
  Id creationList() {
    Id dcpl(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
    check(dcpl.valid() && H5Pset_attr_creation_order(dcpl.get(), H5P_CRT_ORDER_TRACKED | H5P_CRT_ORDER_INDEXED) >= 0,
          "cannot prepare a dataset");
    return dcpl;
  }

  static Id textType() {
    Id t(H5Tcopy(H5T_C_S1), H5Tclose);
    H5Tset_size(t.get(), H5T_VARIABLE);
    H5Tset_cset(t.get(), H5T_CSET_UTF8);
    H5Tset_strpad(t.get(), H5T_STR_NULLTERM);
    return t;
  }

  static Id space(const std::vector<int64_t>& shape) {
    if (shape.empty()) return Id(H5Screate(H5S_SCALAR), H5Sclose);
    std::vector<hsize_t> dims(shape.begin(), shape.end());
    return Id(H5Screate_simple(static_cast<int>(dims.size()), dims.data(), nullptr), H5Sclose);
  }

  Id textScale(hid_t file, const char* name, const std::vector<std::string>& values, int32_t dimid) {
    Id dcpl = creationList();
    H5Pset_fill_time(dcpl.get(), H5D_FILL_TIME_ALLOC);
    Id type = textType();
    Id sp = space({static_cast<int64_t>(values.size())});
    Id ds(H5Dcreate2(file, name, type.get(), sp.get(), H5P_DEFAULT, dcpl.get(), H5P_DEFAULT), H5Dclose);
    check(ds.valid(), std::string("cannot create '") + name + "'");
    std::vector<const char*> ptrs;
    for (const std::string& s : values) ptrs.push_back(s.c_str());
    check(H5Dwrite(ds.get(), type.get(), H5S_ALL, H5S_ALL, H5P_DEFAULT, ptrs.data()) >= 0,
          std::string("cannot write '") + name + "'");
    check(H5DSset_scale(ds.get(), name) >= 0, std::string("cannot make '") + name + "' a dimension");
    putInt32(ds.get(), "_Netcdf4Dimid", &dimid, 0);
    return ds;
  }

  Id numberScale(hid_t file, const char* name, const std::vector<double>& values, int32_t dimid) {
    Id dcpl = creationList();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    H5Pset_fill_value(dcpl.get(), H5T_NATIVE_DOUBLE, &nan);
    Id sp = space({static_cast<int64_t>(values.size())});
    Id ds(H5Dcreate2(file, name, H5T_IEEE_F64LE, sp.get(), H5P_DEFAULT, dcpl.get(), H5P_DEFAULT), H5Dclose);
    check(ds.valid(), std::string("cannot create '") + name + "'");
    check(H5Dwrite(ds.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) >= 0,
          std::string("cannot write '") + name + "'");
    putInt32(ds.get(), "_Netcdf4Dimid", &dimid, 0);
    check(H5DSset_scale(ds.get(), name) >= 0, std::string("cannot make '") + name + "' a dimension");
    putNaN(ds.get(), "_FillValue");
    return ds;
  }

  Id dataVariable(hid_t file, const MneConnectivity& c, const hsize_t dims[3]) {
    Id dcpl = creationList();
    Id fileType, memType;
    if (c.complex) {
      fileType = Id(H5Tcreate(H5T_COMPOUND, 16), H5Tclose);
      H5Tinsert(fileType.get(), "r", 0, H5T_IEEE_F64LE);
      H5Tinsert(fileType.get(), "i", 8, H5T_IEEE_F64LE);
      memType = Id(H5Tcreate(H5T_COMPOUND, 2 * sizeof(double)), H5Tclose);
      H5Tinsert(memType.get(), "r", 0, H5T_NATIVE_DOUBLE);
      H5Tinsert(memType.get(), "i", sizeof(double), H5T_NATIVE_DOUBLE);
    } else {
      fileType = Id(H5Tcopy(H5T_IEEE_F64LE), H5Tclose);
      memType = Id(H5Tcopy(H5T_NATIVE_DOUBLE), H5Tclose);
      const double nan = std::numeric_limits<double>::quiet_NaN();
      H5Pset_fill_value(dcpl.get(), H5T_NATIVE_DOUBLE, &nan);
    }
    Id sp(H5Screate_simple(3, dims, nullptr), H5Sclose);
    Id ds(H5Dcreate2(file, kVariable, fileType.get(), sp.get(), H5P_DEFAULT, dcpl.get(), H5P_DEFAULT), H5Dclose);
    check(ds.valid(), "cannot create the data variable");
    check(H5Dwrite(ds.get(), memType.get(), H5S_ALL, H5S_ALL, H5P_DEFAULT, c.data.data()) >= 0,
          "cannot write the data");
    return ds;
  }

  // An int32 attribute: a scalar when n is 0, else n values.
  void putInt32(hid_t obj, const char* name, const int32_t* values, int n) {
    Id sp = n == 0 ? space({}) : space({n});
    Id a(H5Acreate2(obj, name, H5T_STD_I32LE, sp.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    check(a.valid() && H5Awrite(a.get(), H5T_NATIVE_INT32, values) >= 0, std::string("cannot write attribute ") + name);
  }

  void putNaN(hid_t obj, const char* name) {
    MneAttribute a = MneAttribute::real(name, std::numeric_limits<double>::quiet_NaN());
    put(obj, a);
  }

  void put(hid_t obj, const MneAttribute& a) {
    Id sp = space(a.shape);
    const std::string what = "cannot write attribute '" + a.name + "'";
    check(sp.valid(), what);
    if (a.type == MneAttribute::Type::text) {
      Id type = textType();
      Id attr(H5Acreate2(obj, a.name.c_str(), type.get(), sp.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
      std::vector<const char*> ptrs;
      for (const std::string& s : a.texts) ptrs.push_back(s.c_str());
      check(attr.valid() && (ptrs.empty() || H5Awrite(attr.get(), type.get(), ptrs.data()) >= 0), what);
    } else if (a.type == MneAttribute::Type::integer) {
      Id attr(H5Acreate2(obj, a.name.c_str(), H5T_STD_I64LE, sp.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
      check(attr.valid() && (a.integers.empty() || H5Awrite(attr.get(), H5T_NATIVE_INT64, a.integers.data()) >= 0), what);
    } else {
      Id attr(H5Acreate2(obj, a.name.c_str(), H5T_IEEE_F64LE, sp.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
      check(attr.valid() && (a.reals.empty() || H5Awrite(attr.get(), H5T_NATIVE_DOUBLE, a.reals.data()) >= 0), what);
    }
  }

  // The connectivity attributes in the order mne-connectivity writes its
  // own: counts first, then the others, names, method, indices, class.
  void writeAttributes(hid_t var, const MneConnectivity& c, const Plan& plan) {
    put(var, c.nEpochsUsed ? MneAttribute::integer("n_epochs_used", *c.nEpochsUsed)
                           : MneAttribute::text("n_epochs_used", kNone));
    if (c.sfreq) put(var, MneAttribute::real("sfreq", *c.sfreq));
    for (const MneAttribute& a : c.extra) put(var, a);

    MneAttribute names;
    names.name = "node_names";
    names.shape = {c.nNodes};
    names.texts = plan.nodeNames;
    put(var, names);

    if (c.method.size() == 1) {
      put(var, MneAttribute::text("method", c.method[0]));
    } else if (c.method.empty()) {
      put(var, MneAttribute::text("method", kNone));
    } else {
      MneAttribute method;
      method.name = "method";
      method.shape = {static_cast<int64_t>(c.method.size())};
      method.texts = c.method;
      put(var, method);
    }

    switch (c.indices) {
      case MneIndices::unset:
        put(var, MneAttribute::text("indices", kNone));
        break;
      case MneIndices::all:
        put(var, MneAttribute::text("indices", "all"));
        break;
      case MneIndices::symmetric:
        put(var, MneAttribute::text("indices", "symmetric"));
        break;
      case MneIndices::pairs: {
        MneAttribute pairs;
        pairs.name = "indices";
        pairs.type = MneAttribute::Type::integer;
        pairs.shape = {2, static_cast<int64_t>(c.seeds.size())};
        pairs.integers = c.seeds;
        pairs.integers.insert(pairs.integers.end(), c.targets.begin(), c.targets.end());
        put(var, pairs);
        break;
      }
    }
    put(var, MneAttribute::integer("n_nodes", c.nNodes));
    put(var, MneAttribute::text("data_structure", kStructure));
    // read_connectivity requires the epochs metadata; "[]" is an empty table.
    if (!c.findExtra("metadata")) put(var, MneAttribute::text("metadata", "[]"));
  }

  std::string path_;
  std::string temp_;
};

}  // namespace

MneAttribute MneAttribute::text(std::string name, std::string value) {
  MneAttribute a;
  a.name = std::move(name);
  a.type = Type::text;
  a.texts = {std::move(value)};
  return a;
}

MneAttribute MneAttribute::integer(std::string name, int64_t value) {
  MneAttribute a;
  a.name = std::move(name);
  a.type = Type::integer;
  a.integers = {value};
  return a;
}

MneAttribute MneAttribute::real(std::string name, double value) {
  MneAttribute a;
  a.name = std::move(name);
  a.type = Type::real;
  a.reals = {value};
  return a;
}

int64_t MneAttribute::count() const {
  int64_t n = 1;
  for (const int64_t d : shape) {
    n = checkedProduct(n, d);
    if (n < 0) return -1;
  }
  return n;
}

std::string MneAttribute::toString() const {
  auto item = [&](std::size_t i) -> std::string {
    switch (type) {
      case Type::text:
        return i < texts.size() ? (shape.empty() ? texts[i] : "'" + texts[i] + "'") : "?";
      case Type::integer:
        return i < integers.size() ? std::to_string(integers[i]) : "?";
      case Type::real:
        return i < reals.size() ? numberText(reals[i]) : "?";
    }
    return "?";
  };
  if (shape.empty()) return item(0);
  // Nested brackets, one level per dimension, as NumPy prints lists.
  std::string s;
  std::size_t next = 0;
  auto level = [&](auto&& self, std::size_t dim) -> void {
    s += '[';
    for (int64_t k = 0; k < shape[dim]; ++k) {
      if (k) s += ", ";
      if (dim + 1 == shape.size()) {
        s += item(next++);
      } else {
        self(self, dim + 1);
      }
    }
    s += ']';
  };
  level(level, 0);
  return s;
}

const MneAttribute* MneConnectivity::findExtra(const std::string& name) const {
  for (const MneAttribute& a : extra) {
    if (a.name == name) return &a;
  }
  return nullptr;
}

int64_t mneConnectionCount(const MneConnectivity& c) {
  switch (c.indices) {
    case MneIndices::unset:
    case MneIndices::all:
      return checkedProduct(c.nNodes, c.nNodes);
    case MneIndices::symmetric: {
      const int64_t p = checkedProduct(c.nNodes, c.nNodes + 1);
      return p < 0 ? -1 : p / 2;
    }
    case MneIndices::pairs:
      return static_cast<int64_t>(c.seeds.size());
  }
  return -1;
}

std::vector<double> mneDenseData(const MneConnectivity& c) {
  const int64_t n = c.nNodes;
  const std::size_t cell = c.freqs.size() * c.times.size() * (c.complex ? 2 : 1);
  if (c.layout == MneLayout::dense || c.indices == MneIndices::all || c.indices == MneIndices::unset) return c.data;
  const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  std::vector<double> dense(nn * cell, c.indices == MneIndices::pairs ? std::numeric_limits<double>::quiet_NaN() : 0.0);
  auto place = [&](std::size_t k, int64_t row, int64_t col) {
    const std::size_t from = k * cell;
    if (from + cell > c.data.size()) refuse("mne-connectivity data: fewer values than the connections need");
    std::copy_n(c.data.begin() + static_cast<std::ptrdiff_t>(from), cell,
                dense.begin() + static_cast<std::ptrdiff_t>((static_cast<std::size_t>(row * n + col)) * cell));
  };
  if (c.indices == MneIndices::symmetric) {
    std::size_t k = 0;
    for (int64_t i = 0; i < n; ++i) {
      for (int64_t j = i; j < n; ++j, ++k) {
        place(k, i, j);
        place(k, j, i);
      }
    }
  } else {
    for (std::size_t k = 0; k < c.seeds.size() && k < c.targets.size(); ++k) place(k, c.seeds[k], c.targets[k]);
  }
  return dense;
}

int64_t checkMneConnectivity(const MneConnectivity& c, const std::string& path) {
  auto fail = [&](const std::string& what) { refuse(path + ": " + what); };
  if (c.dataStructure != kStructure) fail("only " + std::string(kStructure) + " is handled, not " + c.dataStructure);
  if (c.nNodes < 1) fail("no nodes");
  if (c.freqs.empty() || c.times.empty()) fail("no frequencies or no time points");
  if (!c.nodeNames.empty() && c.nodeNames.size() != static_cast<std::size_t>(c.nNodes)) {
    fail(std::to_string(c.nodeNames.size()) + " node names for " + std::to_string(c.nNodes) + " nodes");
  }
  if (c.indices == MneIndices::pairs) {
    if (c.seeds.size() != c.targets.size() || c.seeds.empty()) fail("seeds and targets differ in number or are empty");
    for (std::size_t k = 0; k < c.seeds.size(); ++k) {
      if (c.seeds[k] < 0 || c.seeds[k] >= c.nNodes || c.targets[k] < 0 || c.targets[k] >= c.nNodes) {
        fail("connection " + std::to_string(k) + " joins nodes outside the " + std::to_string(c.nNodes) + " nodes");
      }
    }
  } else if (!c.seeds.empty() || !c.targets.empty()) {
    fail("seeds and targets are given but the indices are not explicit pairs");
  }
  const int64_t connections = mneConnectionCount(c);
  if (connections < 0) fail("too many nodes");
  const int64_t nf = static_cast<int64_t>(c.freqs.size());
  const int64_t nt = static_cast<int64_t>(c.times.size());
  std::vector<int64_t> expected = {connections, nf, nt};
  if (c.layout == MneLayout::dense) {
    if (c.indices != MneIndices::all && c.indices != MneIndices::unset) {
      fail("a full node x node matrix cannot go with symmetric or explicit indices");
    }
    expected = {c.nNodes, c.nNodes, nf, nt};
  }
  if (!c.shape.empty() && c.shape != expected) {
    fail("shape " + shapeText(c.shape) + " does not match the nodes, indices, freqs and times " + shapeText(expected));
  }
  const int64_t values = checkedProduct(checkedProduct(checkedProduct(connections, nf), nt), c.complex ? 2 : 1);
  if (values < 0 || static_cast<std::size_t>(values) != c.data.size()) {
    fail(std::to_string(c.data.size()) + " data values where the shape " + shapeText(expected) + " needs " +
         std::to_string(values));
  }
  return connections;
}

MneConnectivity readMneConnectivity(const std::string& path) {
  const Hdf5Session session;
  return Reader(path).read();
}

void writeMneConnectivity(const std::string& path, const MneConnectivity& c) {
  const Plan plan = planWrite(path, c);
  const std::string failure = writeFileAtomically(path, [&](const std::string& temp) {
    const Hdf5Session session;
    Writer(path, temp).write(c, plan);
    return std::string();
  });
  if (!failure.empty()) refuse(path + ": cannot write: " + failure);
}

}  // namespace megcxc::interop
